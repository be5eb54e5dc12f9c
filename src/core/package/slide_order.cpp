#include "core/package/slide_order.hpp"

#include <deque>
#include <unordered_map>

#include "core/base/decimal.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"
#include "core/xml/xml_events.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {


// The names of every entry that `keep` accepts, in archive order, as the archive holds them
// (valid while it is open). Every entry is checked to open: one that cannot be opened fails the
// listing with `Zip`.
template <class Keep>
Result<std::vector<std::string_view>> entry_names(PackageArchive& archive, Keep keep) {
  std::vector<std::string_view> names;
  const std::uint64_t count = archive.entry_count();
  for (std::uint64_t index = 0; index < count; ++index) {
    PELVANE_TRY_VOID(check_entry_opens(archive, index));
    const std::string_view name = PELVANE_TRY(archive.checked_entry_name(index));
    if (keep(name)) names.push_back(name);
  }
  return names;
}

std::vector<std::string> in_natural_order(const std::vector<std::string_view>& names) {
  std::vector<std::string> sorted(names.begin(), names.end());
  sort_natural(sorted);
  return sorted;
}

// True when the raw Type names a slide relationship (its value ends with "/slide").
bool is_slide_type(std::string_view raw) {
  if (raw.find('&') != std::string_view::npos)
    return relationship_value(raw).ends_with("/slide");
  return raw.ends_with("/slide") && is_valid_utf8(raw);
}

void collect_slide_relationship(const RelationshipText& text, std::vector<SlideRelationship>& out) {
  if (with_relationship_value(text.type,
                              [](std::string_view type) { return type.ends_with("/slide"); }))
    out.push_back({relationship_value(text.id), relationship_value(text.target)});
}

// The target of every slide relationship of the presentation by its id; of two with one id, the
// later in the relationship list (by id, then target) counts. Views into `bytes`, or into
// `unescaped` for values that differ from their raw text. In the same pass: with `collected`,
// the slide relationships (`slide_relationships`); with `largest`, the largest number of any id.
std::unordered_map<std::string_view, std::string_view> slide_targets_by_id(
    std::string_view bytes, std::deque<std::string>& unescaped,
    std::vector<SlideRelationship>* collected, std::optional<std::uint64_t>* largest) {
  const auto value = [&](std::string_view raw) -> std::string_view {
    if (is_plain_relationship_value(raw)) return raw;
    return unescaped.emplace_back(relationship_value(raw));
  };
  std::unordered_map<std::string_view, std::string_view> targets;
  scan_relationships(bytes, [&](const RelationshipText& text) {
    if (collected != nullptr) collect_slide_relationship(text, *collected);
    if (largest != nullptr) {
      const auto number = relationship_id_number(text.id);
      if (number && (!*largest || *number > **largest)) *largest = number;
    }
    if (!is_slide_type(text.type)) return;
    const std::string_view target = value(text.target);
    const auto [at, inserted] = targets.try_emplace(value(text.id), target);
    if (!inserted && at->second < target) at->second = target;
  });
  return targets;
}

}  // namespace

std::vector<SlideRelationship> slide_relationships(std::string_view relationships_bytes) {
  std::vector<SlideRelationship> found;
  scan_relationships(relationships_bytes,
                     [&](const RelationshipText& text) { collect_slide_relationship(text, found); });
  return found;
}

SlideListScan::Role SlideListScan::classify(const XmlEvent& event, std::size_t depth) {
  // Levels count the root element as 1: the list stands at level 2, its entries at level 3.
  if (in_list_) {
    if (event.is_end() && depth == 1) {
      in_list_ = false;
      return Role::ListEnd;
    }
    const std::size_t level = event.is_start() ? depth : depth + 1;
    if (event.is_tag() && level == 3 && event.local_name() == "sldId") return Role::Entry;
    return Role::Other;
  }
  if (!event.is_tag() || event.local_name() != "sldIdLst") return Role::Other;
  if (event.is_start() && depth == 2) {
    in_list_ = true;
    return Role::ListStart;
  }
  return event.is_empty() && depth == 1 ? Role::ListEmpty : Role::Other;
}

void slide_id_numbers(const XmlEvent& entry, std::vector<std::uint64_t>& numbers) {
  for (const XmlAttribute& attribute : entry.attributes()) {
    if (attribute.malformed || attribute.local_name() != "id") continue;
    const auto value = unescape_xml(attribute.value);
    if (!value) continue;
    if (const auto number = parse_u64(*value)) numbers.push_back(*number);
  }
}

namespace {

// The relationship ids of the slide-id entries and, with `numbers`, their numbers.
Result<std::vector<std::string>> read_slide_id_entries(std::string_view presentation_xml,
                                                       std::vector<std::uint64_t>* numbers) {
  std::vector<std::string> ids;
  XmlReader reader(presentation_xml);
  for (;;) {
    XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) return ids;
    if (!event.is_tag() || event.local_name() != "sldId") continue;
    for (const XmlAttribute& attribute : event.attributes()) {
      if (attribute.malformed || !attribute.name.ends_with(":id")) continue;
      auto value = unescape_xml(attribute.value);
      ids.push_back(value ? std::move(*value) : std::string());
    }
    if (numbers != nullptr) slide_id_numbers(event, *numbers);
  }
}

}  // namespace

Result<std::vector<std::string>> slide_relationship_ids_in_presentation(
    std::string_view presentation_xml) {
  return read_slide_id_entries(presentation_xml, nullptr);
}

namespace {

Result<std::string> take_or_read(std::optional<std::string>& read, PackageArchive& archive,
                                 std::string_view name) {
  if (!read) return read_required_part(archive, name);
  std::string bytes = std::move(*read);
  read.reset();
  return bytes;
}

}  // namespace

Result<std::string> PresentationSlides::take_presentation(PackageArchive& archive) {
  return take_or_read(presentation, archive, kPresentationPart);
}

Result<std::string> PresentationSlides::take_relationships(PackageArchive& archive) {
  return take_or_read(relationships, archive, kPresentationRelationships);
}

Result<std::vector<std::string>> slide_parts(PackageArchive& archive) {
  return std::move(PELVANE_TRY(read_presentation_slides(archive)).slides);
}

Result<PresentationSlides> read_presentation_slides(PackageArchive& archive, Gather gather) {
  PresentationSlides read;
  // The natural order of the slide parts, sorted only when it is the answer.
  const std::vector<std::string_view> slides = PELVANE_TRY(entry_names(archive, is_slide_part));
  read.presentation = PELVANE_TRY(read_archive_text(archive, kPresentationPart));
  if (!read.presentation) {
    read.slides = in_natural_order(slides);
    return read;
  }
  const std::vector<std::string> ids =
      PELVANE_TRY(read_slide_id_entries(
          *read.presentation, gather == Gather::NewIds ? &read.slide_id_numbers : nullptr));
  read.relationships = PELVANE_TRY(read_relationships_part(archive, kPresentationPart));
  if (gather == Gather::SlideRelationships && read.relationships)
    read.slide_relationships.emplace();
  std::deque<std::string> unescaped;
  const auto targets =
      slide_targets_by_id(read.relationships ? std::string_view(*read.relationships) : "",
                          unescaped, read.slide_relationships ? &*read.slide_relationships : nullptr,
                          gather == Gather::NewIds ? &read.largest_relationship_number : nullptr);
  std::vector<std::string> ordered;
  ordered.reserve(ids.size());
  for (const std::string& id : ids) {
    const auto found = targets.find(id);
    if (found != targets.end()) ordered.push_back(resolve_target(kPresentationPart, found->second));
  }

  // Presentation order counts only when it names exactly the package's slide parts, each once:
  // as many names as slide parts, each the name of a slide part not named before.
  read.slides = std::move(ordered);
  if (read.slides.size() != slides.size()) {
    read.slides = in_natural_order(slides);
    return read;
  }
  std::vector<bool> named(static_cast<std::size_t>(archive.entry_count()));
  for (const std::string& name : read.slides) {
    const auto index = archive.find(name);
    if (!index || !is_slide_part(name) || named[static_cast<std::size_t>(*index)]) {
      read.slides = in_natural_order(slides);
      return read;
    }
    named[static_cast<std::size_t>(*index)] = true;
  }
  return read;
}

Result<std::optional<std::string>> slide_part_at_index(PackageArchive& archive,
                                                       std::uint64_t index) {
  std::vector<std::string> slides = PELVANE_TRY(slide_parts(archive));
  if (index >= slides.size()) return std::optional<std::string>{};
  return std::optional<std::string>(std::move(slides[static_cast<std::size_t>(index)]));
}

Result<std::string> slide_layout_target_at_index(PackageArchive& archive, std::uint64_t index) {
  const std::vector<std::string> layouts =
      in_natural_order(PELVANE_TRY(entry_names(archive, is_slide_layout_part)));
  if (index >= layouts.size())
    return fail(PelvaneError::xml_text_decode("slide layout index " + std::to_string(index) +
                                              " was not found"));
  // A layout part name always has a directory and a file name.
  const std::string& name = layouts[static_cast<std::size_t>(index)];
  return "../slideLayouts/" + name.substr(name.rfind('/') + 1);
}

}  // namespace pelvane
