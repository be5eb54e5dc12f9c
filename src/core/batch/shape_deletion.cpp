#include "core/batch/shape_deletion.hpp"

#include <optional>
#include <utility>
#include <vector>

#include "core/base/decimal.hpp"
#include "core/package/relationships.hpp"
#include "core/pml/shape_cursor.hpp"
#include "core/pml/shape_tree.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

namespace {

// What the tags of a removed shape referred to.
struct RemovedTags {
  std::set<std::string> relationship_ids;
  std::vector<std::uint64_t> shape_ids;  // the removed `cNvPr` ids, in document order

  void take(const XmlEvent& tag) {
    collect_relationship_ids(tag, relationship_ids);
    if (auto id = extract_shape_id_from_event(tag)) shape_ids.push_back(*id);
  }
};

// What the slide left after a removal still refers to.
struct RemainingReferences {
  std::set<std::string> relationship_ids;
  std::set<std::uint64_t> animation_targets;  // the values of `spid` attributes
};

// One pass over the new slide, skipped when there is nothing to look for.
RemainingReferences remaining_references(std::string_view xml, const RemovedTags& removed) {
  RemainingReferences remaining;
  const bool animations = xml.find("spid") != std::string_view::npos;
  if (removed.relationship_ids.empty() && !animations) return remaining;
  XmlReader reader(xml);
  for (;;) {
    auto event = reader.next();
    // The text was just written from well-formed events; an error can only end the scan.
    if (!event || event->is_eof()) break;
    if (!event->is_tag()) continue;
    collect_relationship_ids(*event, remaining.relationship_ids);
    if (!animations) continue;
    const auto raw = event->attributes().find("spid");
    const auto value = raw ? unescape_xml(*raw) : std::nullopt;
    if (const auto id = value ? parse_u64(*value) : std::nullopt)
      remaining.animation_targets.insert(*id);
  }
  return remaining;
}

// The result of a removal: refused when an animation still targets a removed shape, else the
// ids to prune.
Result<ShapeDeletion> finish_deletion(std::string bytes, const RemovedTags& removed) {
  const RemainingReferences remaining = remaining_references(bytes, removed);
  for (const std::uint64_t id : removed.shape_ids) {
    if (remaining.animation_targets.contains(id)) {
      return fail(PelvaneError::invalid_input("shape id " + std::to_string(id) +
                                              " is the target of an animation"));
    }
  }
  ShapeDeletion deletion{std::move(bytes), {}};
  for (const std::string& id : removed.relationship_ids) {
    if (!remaining.relationship_ids.contains(id)) deletion.prune_ids.insert(id);
  }
  return deletion;
}

// A direct child of the addressed group, held back until its end tag decides its fate.
struct HeldChild {
  std::vector<XmlEvent> events;
  std::uint64_t nesting = 0;
  // Whether the child's id (the first one in it) was met, and whether it is the addressed one.
  bool id_met = false;
  bool addressed = false;
};

// Holds one more event of the held child. At the child's end tag the child is written, or, when
// it is the addressed one, taken into `removed` (true) instead; either way it is held no more.
bool hold_child_event(HeldChild& child, const XmlEvent& event, std::uint64_t child_shape_id,
                      XmlWriter& writer, RemovedTags& removed) {
  child.events.push_back(event);
  if (!child.id_met) {
    if (const auto id = extract_shape_id_from_event(event)) {
      child.id_met = true;
      child.addressed = *id == child_shape_id;
    }
  }
  if (event.is_start()) {
    ++child.nesting;
    return false;
  }
  if (!event.is_end() || --child.nesting != 0) return false;
  const bool deleted = child.addressed;
  if (deleted) {
    for (const XmlEvent& held : child.events) {
      if (held.is_tag()) removed.take(held);
    }
  } else {
    for (const XmlEvent& held : child.events) writer.write_event(held);
  }
  child.events.clear();
  child.id_met = child.addressed = false;
  return deleted;
}

}  // namespace

Result<ShapeDeletion> delete_shape_at_index_in_slide(std::string_view xml,
                                                     std::uint64_t shape_index) {
  XmlReader reader(xml);
  XmlWriter writer(xml.size());
  RemovedTags removed;
  TopLevelShapeCursor target(shape_index, TopLevel::TreeChildren);
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) break;
    if (target.place(event) == TopLevelPlace::Outside) {
      writer.write_event(event);
    } else if (event.is_tag()) {
      removed.take(event);
    }
  }
  if (target.in_shape()) {
    return fail(PelvaneError::xml_text_decode("unexpected EOF while deleting shape"));
  }
  if (!target.found()) {
    return fail(PelvaneError::invalid_input("shape index " + std::to_string(shape_index) +
                                            " was not found"));
  }
  return finish_deletion(std::move(writer).take(), removed);
}

Result<ShapeDeletion> delete_group_shape_child_in_slide(std::string_view xml,
                                                        std::uint64_t group_shape_id,
                                                        std::uint64_t child_shape_id) {
  XmlReader reader(xml);
  XmlWriter writer(xml.size());
  RemovedTags removed;
  bool in_head = false;   // after a group's start tag, before its id (or its properties)
  bool in_group = false;  // inside a group whose id is `group_shape_id`
  bool group_found = false;
  bool deleted = false;
  std::uint64_t group_depth = 0;  // groups open inside the addressed one, itself included
  HeldChild child;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) break;
    if (!child.events.empty()) {
      if (hold_child_event(child, event, child_shape_id, writer, removed)) deleted = true;
      continue;
    }
    const std::string_view name = event.is_tag() || event.is_end() ? event.local_name() : "";
    if (in_head) {
      // The group's head ends at its id, its properties, or a shape met before either.
      if (event.is_tag() && name == "cNvPr") {
        in_head = false;
        if (extract_shape_id_from_event(event) == group_shape_id) {
          in_group = group_found = true;
          group_depth = 1;
        }
      } else if (event.is_tag() && (name == "grpSpPr" || is_shape_element_name(name))) {
        in_head = false;
      }
    } else if (!in_group) {
      if (event.is_start() && name == "grpSp") in_head = true;
    } else if (event.is_start() && group_depth == 1 && is_shape_element_name(name)) {
      child.events.push_back(event);
      child.nesting = 1;
      continue;
    } else if (event.is_start() && name == "grpSp") {
      ++group_depth;
    } else if (event.is_end() && name == "grpSp" && --group_depth == 0) {
      in_group = false;  // a later group with the same id is looked into again
    }
    writer.write_event(event);
  }
  if (!child.events.empty()) {
    return fail(PelvaneError::xml_text_decode("unexpected EOF while reading group child shape"));
  }
  if (!group_found) {
    return fail(PelvaneError::invalid_input("group shape id " + std::to_string(group_shape_id) +
                                            " was not found"));
  }
  if (!deleted) {
    return fail(
        PelvaneError::invalid_input("group child shape id " + std::to_string(child_shape_id) +
                                    " was not found in group " + std::to_string(group_shape_id)));
  }
  return finish_deletion(std::move(writer).take(), removed);
}

}  // namespace pelvane
