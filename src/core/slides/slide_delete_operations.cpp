#include "core/slides/slide_delete_operations.hpp"

#include <algorithm>
#include <utility>

#include "core/base/buffer_shelf.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"
#include "core/package/slide_edit.hpp"
#include "core/package/slide_order.hpp"
#include "core/slides/relationship_graph.hpp"
#include "core/slides/slide_deletion_rewrites.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {

// The ids of the presentation relationships that reach one slide part, as views of the values
// the listing holds: the first inline (a part is commonly reached once), any others in a list.
struct SlideIds {
  std::string_view first;
  std::vector<std::string_view> more;
  bool held = false;  // whether `first` is one

  void add(std::string_view id) {
    if (!held) {
      first = id;
      held = true;
    } else {
      more.push_back(id);
    }
  }
  // Calls `use(id)` for each id in order.
  template <class Use>
  void each(Use&& use) const {
    use(first);
    for (const std::string_view id : more) use(id);
  }
};

// The ids of every presentation relationship that reaches each of a set of slide parts (by id,
// then target), by the part's position in the set, which outlives the map.
struct SlideRelationshipMap {
  const PartNameViews& parts;
  std::vector<SlideIds> ids;

  // The ids of `part` (of that `PartNameViews::hash_of`); null when it is not one of the parts
  // or no relationship reaches it.
  const SlideIds* find(std::string_view part, std::size_t hash) const {
    const auto at = parts.index_of(part, hash);
    return at && ids[*at].held ? &ids[*at] : nullptr;
  }
};

std::unexpected<PelvaneError> invalid(std::string message) {
  return fail(PelvaneError::invalid_input(std::move(message)));
}

// The presentation's slide relationships by the part they resolve to, for the parts of `parts`.
// A part may be reached by more than one: a deleted slide takes all of them with it, so that no
// relationship and no slide-list entry is left pointing at a part that is gone. Each part's ids
// come in relationship-list order (by id, then target).
SlideRelationshipMap slide_relationship_map(const std::vector<SlideRelationship>& found,
                                            const PartNameViews& parts) {
  SlideRelationshipMap map{parts, std::vector<SlideIds>(parts.size())};
  std::string resolved;
  for (const SlideRelationship& relationship : found) {
    // The listing has resolved the targets of the slides it lists.
    std::string_view part = relationship.part;
    if (part.empty()) {
      resolve_presentation_target_into(relationship.target, resolved);
      part = resolved;
    }
    if (const auto at = parts.index_of(part)) map.ids[*at].add(relationship.id);
  }
  // Ids sorted alone come in the order of ids and targets: relationships tied by id give one id.
  for (SlideIds& ids : map.ids) {
    if (ids.more.empty()) continue;
    ids.more.push_back(ids.first);
    std::sort(ids.more.begin(), ids.more.end());
    ids.first = ids.more.front();
    ids.more.erase(ids.more.begin());
  }
  return map;
}

// The relationship ids of the survivor order, each name checked in turn against the surviving
// slides (`survivor_count` of them as listed, `surviving` as a set). A slide reached by several
// relationships contributes all of their ids, one after the other, so its entry is written
// whichever of them the slide list uses.
Result<std::vector<std::string>> survivor_order_ids(const std::vector<std::string>& names,
                                                    std::size_t survivor_count,
                                                    const PartNameViews& surviving,
                                                    const PartNameViews& targets,
                                                    const SlideRelationshipMap& slide_ids) {
  if (names.size() != survivor_count) {
    return invalid("ordered survivor parts count (" + std::to_string(names.size()) +
                   ") does not match surviving slides count (" + std::to_string(survivor_count) +
                   ")");
  }
  PartNameViews seen;
  seen.reserve(names.size());
  std::vector<std::string> ids;
  ids.reserve(names.size());
  for (const std::string& name : names) {
    const std::size_t hash = PartNameViews::hash_of(name);
    if (targets.contains(name, hash))
      return invalid("deleted slide part " + name + " cannot be included in ordered survivors");
    if (!seen.insert(name, hash))
      return invalid("duplicate survivor slide part in ordered survivors: " + name);
    // A name must be one of the surviving slides: a slide relationship to a part the slide list
    // does not hold would otherwise take the place of a listed slide, which would drop out of
    // the list while its part stayed.
    const SlideIds* id = slide_ids.find(name, hash);
    if (!surviving.contains(name, hash) || id == nullptr)
      return invalid("survivor slide part " + name + " was not found in the presentation");
    id->each([&](std::string_view value) { ids.emplace_back(value); });
  }
  return ids;
}

// Drops every entry that the deleted slides reach and nothing kept reaches, with its
// relationships part; the names of the dropped parts go into `dropped_parts` (views of the
// archive's entry names, which outlive the walks). Only the relationships parts that the walks
// come to are read, the presentation's (already read, its edges in `presentation_edges`) not
// again.
Result<void> drop_unreached_parts(PackageEdit& edit, const PartNameViews& surviving,
                                  const PartNameViews& targets,
                                  RelationshipEdges presentation_edges,
                                  PartNameViews& dropped_parts) {
  PackageArchive& archive = edit.archive();
  // The listing has checked every entry to open.
  RelationshipGraph graph = RelationshipGraph::of_package(archive);
  graph.use_read_edges(kPresentationRelationships, std::move(presentation_edges));
  // The walk gives the relationships entry it found by name for each part, which the parts
  // dropped take with them without a second lookup.
  std::vector<std::optional<std::uint64_t>> named_relationships;
  const PartNameViews deleted = PELVANE_TRY(deleted_closure(graph, targets, &named_relationships));
  // What the deleted slides reach besides themselves stays when something kept reaches it.
  // Only the reached names that are entries count; the order they are taken in does not. Each
  // name goes from one table to the next with the hash the walk took of it.
  struct Reached {
    std::uint64_t index;   // of the part's entry
    std::size_t position;  // of the part among the deleted
  };
  std::vector<Reached> reached;
  PartNameViews candidates;
  for (std::size_t position = 0; position < deleted.size(); ++position) {
    const std::string_view name = deleted[position];
    if (name.ends_with(".rels") || name == kContentTypes) continue;
    const std::size_t hash = deleted.hash_at(position);
    const auto index = archive.find(name, hash);
    if (!index) continue;
    reached.push_back({*index, position});
    if (!targets.contains(name, hash)) candidates.insert(name, hash);
  }
  const PartNameViews kept = PELVANE_TRY(kept_parts(graph, surviving, targets, candidates));
  dropped_parts.reserve(reached.size());
  std::string relationships;
  for (const Reached& part : reached) {
    const std::string_view name = archive.entry_name(part.index);
    const std::size_t hash = deleted.hash_at(part.position);
    if (!kept.empty() && kept.contains(name, hash)) continue;
    if (const auto named = named_relationships[part.position]) {
      edit.drop_entry(*named);
    } else {
      relationship_part_name_into(name, relationships);
      edit.drop_part(relationships);
    }
    dropped_parts.insert(name, hash);
    edit.drop_entry(part.index);
  }
  return {};
}

// The targets as a set; refused when none is given or one is given twice.
Result<void> collect_targets(std::span<const std::string> target_slide_parts,
                             PartNameViews& targets) {
  if (target_slide_parts.empty()) return invalid("no target slide parts specified for deletion");
  targets.reserve(target_slide_parts.size());
  for (const std::string& target : target_slide_parts) {
    if (!targets.insert(target))
      return invalid("duplicate target slide part specified for deletion: " + target);
  }
  return {};
}

// The listed slides that are not targets, as a set and counted.
struct Survivors {
  PartNameViews slides;
  std::size_t count = 0;
};

// The survivors of `slides`; refused when a target is not listed or every slide is one.
Result<Survivors> survivors_of(const std::vector<std::string_view>& slides,
                               std::span<const std::string> target_slide_parts,
                               const PartNameViews& targets) {
  Survivors survivors;
  survivors.slides.reserve(slides.size());
  for (const std::string_view slide : slides) {
    const std::size_t hash = PartNameViews::hash_of(slide);
    if (targets.contains(slide, hash)) continue;
    ++survivors.count;
    survivors.slides.insert(slide, hash);
  }
  // The slides are named once each, so every target is listed when as many slides are targets
  // as there are targets.
  if (slides.size() - survivors.count != targets.size()) {
    const PartNameViews listed(slides.begin(), slides.end());
    for (const std::string& target : target_slide_parts) {
      if (!listed.contains(target))
        return invalid("target slide part " + target + " was not found in the presentation");
    }
  }
  if (target_slide_parts.size() == slides.size())
    return invalid("cannot delete all slides; presentation must contain at least one slide");
  return survivors;
}

// The ids of every presentation relationship that reaches a target (in the order given);
// refused when none reaches one.
Result<PartNameSet> deleted_relationship_ids(const SlideRelationshipMap& slide_ids,
                                             const PartNameViews& targets) {
  PartNameSet deleted_ids;
  deleted_ids.reserve(targets.size());
  for (std::size_t at = 0; at < targets.size(); ++at) {
    const SlideIds* id = slide_ids.find(targets[at], targets.hash_at(at));
    if (id == nullptr) {
      return invalid("presentation relationship for slide part " + std::string(targets[at]) +
                     " was not found");
    }
    id->each([&](std::string_view value) { deleted_ids.insert(value); });
  }
  return deleted_ids;
}

// Deletes the targets from the package being edited: the presentation, its relationships and
// the content types written anew, the parts only the deleted slides reach dropped.
Result<SlideDeleteSummary> delete_from_package(
    PackageEdit& edit, std::span<const std::string> target_slide_parts,
    const PartNameViews& targets,
    const std::optional<std::vector<std::string>>& ordered_survivor_parts) {
  PackageArchive& archive = edit.archive();
  PresentationSlides listing =
      PELVANE_TRY(read_presentation_slides(archive, Gather::SlideRelationships));
  const std::vector<std::string_view>& slides = listing.slides;
  const Survivors survivors = PELVANE_TRY(survivors_of(slides, target_slide_parts, targets));

  // The relationships' bytes stay in the listing, which the slide relationships view.
  const std::string& relationships = *PELVANE_TRY(listing.hold_relationships(archive));
  if (!listing.slide_relationships)
    listing.slide_relationships = slide_relationships(relationships, listing.unescaped);
  // The relationships of the listed slides are looked up (every target is one), and without a
  // survivor order only the deleted slides' ones.
  const std::vector<SlideRelationship>& found = *listing.slide_relationships;
  const PartNameViews listed_slides =
      ordered_survivor_parts ? PartNameViews(slides.begin(), slides.end()) : PartNameViews();
  const SlideRelationshipMap slide_ids =
      slide_relationship_map(found, ordered_survivor_parts ? listed_slides : targets);
  const PartNameSet deleted_ids = PELVANE_TRY(deleted_relationship_ids(slide_ids, targets));
  std::optional<std::vector<std::string>> survivor_order;
  if (ordered_survivor_parts) {
    survivor_order = PELVANE_TRY(survivor_order_ids(*ordered_survivor_parts, survivors.count,
                                                    survivors.slides, targets, slide_ids));
  }

  // The presentation's relationships are rewritten in the pass that takes their edges for the
  // walks; a failure of the rewrite counts after what the walks and the presentation may fail
  // with. Room for about an edge per slide relationship, most targets a slide's name
  // ("ppt/slides/slide12.xml"); the room grows where that is short.
  constexpr std::size_t kSlideNameBytes = 24;
  RelationshipEdges presentation_edges(found.size(), found.size() * kSlideNameBytes);
  Result<std::string> rewritten_relationships = rewrite_relationships_for_slide_deletion(
      relationships, deleted_ids, [&](const RelationshipText& text) {
        add_relationship_edge(kPresentationPart, text, presentation_edges);
      });
  PartNameViews dropped_parts;
  PELVANE_TRY_VOID(drop_unreached_parts(edit, survivors.slides, targets,
                                        std::move(presentation_edges), dropped_parts));
  const std::string& presentation = *PELVANE_TRY(listing.hold_presentation(archive));
  std::string new_presentation = PELVANE_TRY(
      rewrite_presentation_xml_for_slide_deletion(presentation, deleted_ids, survivor_order));
  std::string new_relationships = PELVANE_TRY(std::move(rewritten_relationships));
  // The content types read are given back to the thread's shelf, as the listing's texts are.
  const ShelvedBuffer<std::string> content_types(
      PELVANE_TRY(read_required_part(archive, kContentTypes)));
  std::string new_content_types =
      PELVANE_TRY(rewrite_content_types_for_slide_deletion(*content_types, dropped_parts));
  edit.replace_part(std::string(kPresentationPart), std::move(new_presentation));
  edit.replace_part(std::string(kPresentationRelationships), std::move(new_relationships));
  edit.replace_part(std::string(kContentTypes), std::move(new_content_types));

  SlideDeleteSummary summary;
  summary.deleted_slide_parts = sorted_names(target_slide_parts);
  summary.deleted_relationship_ids = sorted_names({deleted_ids.begin(), deleted_ids.end()});
  summary.survivor_count = survivors.count;
  return summary;
}

}  // namespace

Result<SlideDeleteSummary> delete_slides(
    std::string_view input, std::string_view output,
    std::span<const std::string> target_slide_parts,
    const std::optional<std::vector<std::string>>& ordered_survivor_parts) {
  PartNameViews targets;
  auto edited = PELVANE_TRY(edit_package(
      input, output, kSlideDeletionEdit,
      // The arguments are checked after the output's directories exist and before the input
      // opens.
      [&]() { return collect_targets(target_slide_parts, targets); },
      [&](PackageEdit& edit) {
        return delete_from_package(edit, target_slide_parts, targets, ordered_survivor_parts);
      }));
  return finish_record(std::move(edited), output);
}

}  // namespace pelvane
