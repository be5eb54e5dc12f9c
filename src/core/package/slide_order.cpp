#include "core/package/slide_order.hpp"

#include <algorithm>
#include <deque>
#include <unordered_map>

#include "core/base/buffer_shelf.hpp"
#include "core/base/decimal.hpp"
#include "core/base/keyed_hash.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"
#include "core/xml/xml_events.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {

// The folder of the presentation part, which its relationships' targets start from.
constexpr std::string_view kPresentationFolder = "ppt/";

// The names of every entry that `keep` accepts, in archive order, as the archive holds them
// (valid while it is open); `kept(index)` is told the entry of each. Every entry is checked to
// open: one that cannot be opened fails the listing with `Zip`.
template <class Keep, class Kept>
Result<std::vector<std::string_view>> entry_names(PackageArchive& archive, Keep keep, Kept&& kept) {
  std::vector<std::string_view> names;
  const std::uint64_t count = archive.entry_count();
  for (std::uint64_t index = 0; index < count; ++index) {
    PELVANE_TRY_VOID(check_entry_opens(archive, index));
    const std::string_view name = PELVANE_TRY(archive.checked_entry_name(index));
    if (!keep(name)) continue;
    names.push_back(name);
    kept(index);
  }
  return names;
}

template <class Keep>
Result<std::vector<std::string_view>> entry_names(PackageArchive& archive, Keep keep) {
  return entry_names(archive, keep, [](std::uint64_t) {});
}

// n for digits written without a leading zero (a lone "0" is 0) with n below `bound`; none
// otherwise. Nine digits at most are read, so that n never overflows.
std::optional<std::size_t> number_below(std::string_view digits, std::size_t bound) {
  if (digits.empty() || digits.size() > 9 || (digits.size() > 1 && digits[0] == '0'))
    return std::nullopt;
  std::size_t n = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::size_t>(c - '0');
  }
  if (n >= bound) return std::nullopt;
  return n;
}

// A table by number made long enough to hold `n` (below `bound`): twice as long at least, so that
// numbers met in rising order grow it a few times only, and never past the bound.
template <class Table>
void grow_to_hold(Table& table, std::size_t n, std::size_t bound) {
  table.resize(std::min(bound, std::max(n + 1, 2 * table.size())));
}

// The names in natural order (a stable sort: equal keys keep archive order).
std::vector<std::string_view> in_natural_order(std::vector<std::string_view> names) {
  std::stable_sort(names.begin(), names.end(), natural_less);
  return names;
}

std::vector<std::string> as_strings(const std::vector<std::string_view>& names) {
  return {names.begin(), names.end()};
}

// The rare value that holds a reference, unescaped into `unescaped`, out of the common path.
[[gnu::noinline]] std::string_view unescaped_value_view(std::string_view raw,
                                                        std::deque<std::string>& unescaped) {
  return unescaped.emplace_back(relationship_value(raw));
}

// What one look at a whole part tells of every value of it (a value lies between ASCII
// quotes): whether the part is valid UTF-8, and whether it holds a "&" anywhere.
struct PartText {
  bool utf8 = false;
  bool references = true;

  static PartText of(std::string_view bytes) {
    return {is_valid_utf8(bytes), bytes.find('&') != std::string_view::npos};
  }
};

// A relationship value as a record holds it, as a view into the part's bytes when the raw text
// needs no unescaping, else into `unescaped`; empty when it cannot be unescaped. Of a part known
// to be valid UTF-8 only a reference calls for unescaping.
inline std::string_view relationship_value_view(std::string_view raw, PartText text,
                                                std::deque<std::string>& unescaped) {
  if (text.utf8 && (!text.references || raw.find('&') == std::string_view::npos)) return raw;
  if (!text.utf8 && relationship_value_needs_no_unescaping(raw)) return raw;
  return unescaped_value_view(raw, unescaped);
}

// True when the raw Type names a slide relationship (its value ends with "/slide").
bool is_slide_type(std::string_view raw, PartText text) {
  if (text.references && raw.find('&') != std::string_view::npos)
    return relationship_value(raw).ends_with("/slide");
  return raw.ends_with("/slide") && (text.utf8 || is_valid_utf8(raw));
}

// The slide relationships of a relationships part, in document order (values as
// `relationship_value_view` gives them), into `slides`; `visit(const RelationshipText&)` sees
// every relationship of any type in the same pass.
template <class Visit>
void scan_slide_relationships(std::string_view bytes, std::deque<std::string>& unescaped,
                              std::vector<SlideRelationship>& slides, Visit&& visit) {
  // One look at the whole part spares one at every value.
  const PartText part = PartText::of(bytes);
  scan_relationships(bytes, [&](const RelationshipText& text) {
    visit(text);
    if (!is_slide_type(text.type, part)) return;
    slides.push_back({.id = relationship_value_view(text.id, part, unescaped),
                      .target = relationship_value_view(text.target, part, unescaped),
                      .part = {}});
  });
}

// The presentation's slide relationships (as `relationship_value_view` gives their values) and
// which of them gives each id its target. Of two with one id, the later in the relationship list
// (by id, then target) counts, that is the larger target byte-wise. Ids written "rId<n>" (n
// without a leading zero, below a bound set by the number of relationships) are held in a table
// by n, with no hashing and no allocation per id; any other id, crafted large numbers included,
// in a hash map.
class SlideTargets {
 public:
  // The slide relationships met, and how many relationships the part holds of any type.
  SlideTargets(std::vector<SlideRelationship> slides, std::size_t relationship_count)
      : slides_(std::move(slides)), bound_(2 * relationship_count + 16) {
    for (std::size_t at = 0; at < slides_.size(); ++at) {
      const std::string_view id = slides_[at].id;
      if (const auto n = table_number(id)) {
        if (*n >= table_.size()) grow_to_hold(table_, *n, bound_);
        keep_larger(table_[*n], at);
      } else {
        keep_larger(others_[id], at);
      }
    }
  }

  // The relationship that gives `id` its target. Ids are mostly asked for in the order of the
  // relationships: while no id is held twice, the one after the last found is tried first.
  SlideRelationship* find(std::string_view id) {
    if (distinct_ && next_ < slides_.size() && slides_[next_].id == id) return &slides_[next_++];
    std::optional<std::size_t> at;
    if (const auto n = table_number(id)) {
      if (*n < table_.size()) at = table_[*n];
    } else if (const auto found = others_.find(id); found != others_.end()) {
      at = found->second;
    }
    if (!at) return nullptr;
    next_ = *at + 1;
    return &slides_[*at];
  }

  // The slide relationships, moved out.
  std::vector<SlideRelationship> take() { return std::move(slides_); }

 private:
  void keep_larger(std::optional<std::size_t>& held, std::size_t at) {
    if (held) distinct_ = false;
    if (!held || slides_[*held].target < slides_[at].target) held = at;
  }
  // n for an id "rId<n>" written without a leading zero with n below the bound; none otherwise.
  std::optional<std::size_t> table_number(std::string_view id) const {
    if (!id.starts_with("rId")) return std::nullopt;
    return number_below(id.substr(3), bound_);
  }

  std::vector<SlideRelationship> slides_;
  std::size_t bound_;
  std::vector<std::optional<std::size_t>> table_;
  std::unordered_map<std::string_view, std::optional<std::size_t>, KeyedHash> others_;
  bool distinct_ = true;  // no id is held by two relationships
  std::size_t next_ = 0;  // the relationship after the one found last
};

// The presentation's slide relationships by id (`SlideTargets`), mostly one for each of the
// package's `slide_parts`. In the same pass: with `largest`, the largest number of any id.
SlideTargets slide_targets_by_id(std::string_view bytes, std::deque<std::string>& unescaped,
                                 std::optional<std::uint64_t>* largest, std::size_t slide_parts) {
  std::vector<SlideRelationship> slides;
  // A slide relationship takes about this many bytes, most of them its type: room made once for
  // one a slide part, or as many as the part would hold of them alone when that is fewer.
  constexpr std::size_t kSlideRelationshipBytes = 128;
  slides.reserve(std::min(slide_parts, bytes.size() / kSlideRelationshipBytes));
  std::size_t count = 0;
  scan_slide_relationships(bytes, unescaped, slides, [&](const RelationshipText& text) {
    ++count;
    if (largest != nullptr) {
      const auto number = relationship_id_number(text.id);
      if (number && (!*largest || *number > **largest)) *largest = number;
    }
  });
  return SlideTargets(std::move(slides), count);
}

}  // namespace

bool resolve_presentation_target_into(std::string_view target, std::string& name) {
  // A target that the presentation's folder "ppt/" turns into a slide part name is
  // "slides/slide<digits>.xml", named segments only, resolving to exactly that name; any other
  // goes through the path rules.
  name.assign(kPresentationFolder);
  name.append(target);
  if (is_slide_part(name)) return true;
  resolve_target_into(kPresentationPart, target, name);
  return is_slide_part(name);
}

std::vector<SlideRelationship> slide_relationships(std::string_view relationships_bytes,
                                                   std::deque<std::string>& unescaped) {
  std::vector<SlideRelationship> found;
  scan_slide_relationships(relationships_bytes, unescaped, found, [](const RelationshipText&) {});
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

bool SlideListFinder::add(const XmlEvent& event, std::size_t depth) {
  if (found_) return true;
  switch (scan_.classify(event, depth)) {
    case SlideListScan::Role::ListEmpty:
      place_ = SlideListPlace{std::string(event.name), event.offset + event.raw.size() - 2, true};
      found_ = true;
      break;
    case SlideListScan::Role::ListStart:
      place_ = SlideListPlace{std::string(event.name), 0, false};
      break;
    case SlideListScan::Role::ListEnd:
      place_->end_tag = event.offset;
      found_ = true;
      break;
    default: break;
  }
  return found_;
}

Result<std::optional<SlideListPlace>> SlideListFinder::place() const {
  if (place_ && !found_)
    return fail(PelvaneError::xml_text_decode("expected closing marker </" + place_->name + ">"));
  return place_;
}

namespace {

// The number of an "id" value, unescaped, when it is an unsigned 64-bit decimal (a leading "+"
// allowed); `references`: false when the part holds no "&", so that the value is read as it
// stands.
std::optional<std::uint64_t> slide_id_number(std::string_view raw, bool references) {
  if (!references) return parse_u64(raw);
  return parse_ascii_relationship_value(raw,
                                        [](std::string_view value) { return parse_u64(value); });
}

// The relationship ids of the slide-id entries, values as `relationship_value_view` gives them,
// and, with `numbers`, the entries' numbers (`slide_id_number` of every attribute of local name
// "id", so "r:id" too); with `list`, the slide list
// found in the same pass.
Result<std::vector<std::string_view>> read_slide_id_entries(std::string_view presentation_xml,
                                                            PartText text,
                                                            std::deque<std::string>& unescaped,
                                                            std::vector<std::uint64_t>* numbers,
                                                            SlideListFinder* list = nullptr) {
  std::vector<std::string_view> ids;
  // A slide-id entry takes well over this many bytes: room for every one, made once.
  constexpr std::size_t kSlideIdBytes = 24;
  ids.reserve(presentation_xml.size() / kSlideIdBytes);
  const auto add_entry = [&](const auto& attributes) {
    for (const auto& attribute : attributes) {
      if (attribute.malformed) continue;
      if (attribute.name.ends_with(":id"))
        ids.push_back(relationship_value_view(attribute.value, text, unescaped));
      if (numbers != nullptr && attribute.local_name() == "id")
        if (const auto number = slide_id_number(attribute.value, text.references))
          numbers->push_back(*number);
    }
  };
  XmlReader reader(presentation_xml);
  SimpleEmptyTag simple;
  for (;;) {
    // A simple empty tag read in one pass; the slide list's finder has no use for any empty "sldId"
    // tag (it marks no list's start or end).
    if (reader.next_simple_empty_tag("sldId", simple)) {
      add_entry(simple);
      continue;
    }
    XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) return ids;
    if (list != nullptr && list->add(event, reader.depth())) list = nullptr;
    if (event.is_tag() && event.local_name() == "sldId") add_entry(event.attributes());
  }
}

}  // namespace

namespace {

// The text of a part, held behind its own pointer; none when the part is absent.
std::unique_ptr<std::string> held_text(std::optional<std::string> text) {
  return text ? std::make_unique<std::string>(std::move(*text)) : nullptr;
}

Result<const std::string*> hold_or_read(std::unique_ptr<std::string>& held, PackageArchive& archive,
                                        std::string_view name) {
  if (!held) held = held_text(PELVANE_TRY(read_required_part(archive, name)));
  return held.get();
}

}  // namespace

PresentationSlides::~PresentationSlides() {
  if (presentation) BufferShelf<std::string>::give_back(std::move(*presentation));
  if (relationships) BufferShelf<std::string>::give_back(std::move(*relationships));
}

Result<const std::string*> PresentationSlides::hold_presentation(PackageArchive& archive) {
  return hold_or_read(presentation, archive, kPresentationPart);
}

Result<const std::string*> PresentationSlides::hold_relationships(PackageArchive& archive) {
  return hold_or_read(relationships, archive, kPresentationRelationships);
}

namespace {

// The entry that a slide target names, found among the slide parts of an archive read through
// its stored headers (whose names are all distinct), with no name built and no lookup. Targets
// are mostly met in the order of the parts: the part after the last one found is tried first,
// its name being the presentation's folder and the target. Otherwise the parts numbered without
// a leading zero ("ppt/slides/slide12.xml") are held in a table by number below a bound set by
// the number of entries, made on the first miss: a target "slides/slide<n>.xml" with n in that
// range names the part held at n, or no entry when none is held there (every entry of that name
// is a slide part). Any other target is for the caller to resolve.
class SlidePartFinder {
 public:
  static constexpr std::string_view kPartPrefix = "ppt/slides/slide";
  static constexpr std::string_view kTargetPrefix = "slides/slide";
  static constexpr std::string_view kSuffix = ".xml";

  // The slide parts (`is_slide_part`) in archive order, and their entries.
  SlidePartFinder(const PackageArchive& archive, const std::vector<std::string_view>& parts,
                  const std::vector<std::uint32_t>& entries)
      : usable_(archive.plain_headers() != nullptr),
        bound_(static_cast<std::size_t>(2 * archive.entry_count() + 16)),
        parts_(parts),
        entries_(entries) {}

  // The entry that `target` names (none for no entry), when this finder tells; none otherwise.
  std::optional<std::optional<std::uint64_t>> find_target(std::string_view target) {
    if (!usable_) return std::nullopt;
    if (next_ < parts_.size() && names_part(parts_[next_], target))
      return std::optional<std::uint64_t>(entries_[next_++]);
    if (!table_made_) make_table();
    const auto n = number(target, kTargetPrefix);
    if (!usable_ || !n) return std::nullopt;
    if (*n >= table_.size() || table_[*n] == 0) return std::optional<std::uint64_t>{};
    next_ = table_[*n];
    return std::optional<std::uint64_t>(entries_[next_ - 1]);
  }

 private:
  // True when the part's name is the presentation's folder followed by the target.
  static bool names_part(std::string_view part, std::string_view target) {
    return part.size() == kPresentationFolder.size() + target.size() &&
           part.substr(kPresentationFolder.size()) == target;
  }

  void make_table() {
    table_made_ = true;
    for (std::size_t at = 0; at < parts_.size(); ++at) {
      const auto n = number(parts_[at], kPartPrefix);
      if (!n) continue;
      if (*n >= table_.size()) grow_to_hold(table_, *n, bound_);
      // Two parts of one name: the table does not say which one a lookup finds.
      if (table_[*n] != 0) usable_ = false;
      table_[*n] = static_cast<std::uint32_t>(at + 1);
    }
  }

  // The text between `prefix` and ".xml"; empty when the name is not written so.
  static std::string_view digits(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() + kSuffix.size() || !name.starts_with(prefix) ||
        !name.ends_with(kSuffix))
      return {};
    return name.substr(prefix.size(), name.size() - prefix.size() - kSuffix.size());
  }

  // n for a name `prefix` + digits + ".xml", as `number_below` reads the digits.
  std::optional<std::size_t> number(std::string_view name, std::string_view prefix) const {
    return number_below(digits(name, prefix), bound_);
  }

  bool usable_;
  std::size_t bound_;
  const std::vector<std::string_view>& parts_;
  const std::vector<std::uint32_t>& entries_;
  std::size_t next_ = 0;  // the part after the one found last
  bool table_made_ = false;
  // The part's place + 1 (a plain archive holds fewer than 65535 entries); 0 where none is held.
  std::vector<std::uint32_t> table_;
};

// The slide parts in the order of the slide-id entries' relationship `ids`, as names the archive
// holds (valid while it is open), when that order names exactly the package's slide parts (of
// `slides`, in archive order), each once: as many named targets as slide parts, each resolving
// to a slide part not named before. Otherwise the slide parts in natural order. The relationships
// resolved keep their part names.
std::vector<std::string_view> presentation_order(PackageArchive& archive,
                                                 const std::vector<std::string_view>& ids,
                                                 SlideTargets& targets,
                                                 const std::vector<std::uint32_t>& entries,
                                                 std::vector<std::string_view> slides) {
  SlidePartFinder parts(archive, slides, entries);
  std::vector<bool> named(static_cast<std::size_t>(archive.entry_count()));
  std::vector<std::string_view> listed;
  listed.reserve(slides.size());
  std::string name;
  // Any fault leads to the natural order, so the targets are resolved as they are met and the
  // count checked as it goes and at the end.
  for (const std::string_view id : ids) {
    SlideRelationship* relationship = targets.find(id);
    if (relationship == nullptr) continue;
    if (listed.size() == slides.size()) return in_natural_order(std::move(slides));
    std::optional<std::uint64_t> index;
    if (const auto held = parts.find_target(relationship->target)) {
      index = *held;
    } else {
      if (!resolve_presentation_target_into(relationship->target, name))
        return in_natural_order(std::move(slides));
      index = archive.find(name);
    }
    if (!index || named[static_cast<std::size_t>(*index)])
      return in_natural_order(std::move(slides));
    named[static_cast<std::size_t>(*index)] = true;
    // The entry's own name, equal to the one resolved, outlives the buffer.
    relationship->part = archive.entry_name(*index);
    listed.push_back(relationship->part);
  }
  if (listed.size() != slides.size()) return in_natural_order(std::move(slides));
  return listed;
}

// The slide parts in presentation order, as names the archive holds (valid while it is open);
// the parts read on the way, and what `gather` asks for, go into `read`.
Result<std::vector<std::string_view>> list_slides(PackageArchive& archive, Gather gather,
                                                  PresentationSlides& read) {
  // The natural order of the slide parts, sorted only when it is the answer.
  // The slide parts' entries, for `SlidePartFinder`, which reads through stored headers only.
  std::vector<std::uint32_t> entries;
  const bool plain = archive.plain_headers() != nullptr;
  std::vector<std::string_view> slides =
      PELVANE_TRY(entry_names(archive, is_slide_part, [&](std::uint64_t index) {
        if (plain) entries.push_back(static_cast<std::uint32_t>(index));
      }));
  read.presentation = held_text(PELVANE_TRY(read_archive_text(archive, kPresentationPart)));
  if (!read.presentation) return in_natural_order(std::move(slides));
  std::deque<std::string>& unescaped = read.unescaped;
  // `read_archive_text` has checked the presentation to be UTF-8.
  const PartText presentation{.utf8 = true,
                              .references = read.presentation->find('&') != std::string::npos};
  SlideListFinder list;
  const bool new_ids = gather == Gather::NewIds;
  const std::vector<std::string_view> ids = PELVANE_TRY(
      read_slide_id_entries(*read.presentation, presentation, unescaped,
                            new_ids ? &read.slide_id_numbers : nullptr, new_ids ? &list : nullptr));
  if (new_ids) read.slide_list = std::move(list);
  read.relationships = held_text(PELVANE_TRY(read_relationships_part(archive, kPresentationPart)));
  SlideTargets targets = slide_targets_by_id(
      read.relationships ? std::string_view(*read.relationships) : "", unescaped,
      new_ids ? &read.largest_relationship_number : nullptr, slides.size());
  std::vector<std::string_view> order =
      presentation_order(archive, ids, targets, entries, std::move(slides));
  // The slide relationships handed over keep the part names resolved on the way.
  if (gather == Gather::SlideRelationships && read.relationships)
    read.slide_relationships = targets.take();
  return order;
}

}  // namespace

Result<std::vector<std::string>> slide_parts(PackageArchive& archive) {
  PresentationSlides read;
  return as_strings(PELVANE_TRY(list_slides(archive, Gather::Nothing, read)));
}

Result<PresentationSlides> read_presentation_slides(PackageArchive& archive, Gather gather) {
  PresentationSlides read;
  read.slides = PELVANE_TRY(list_slides(archive, gather, read));
  return read;
}

Result<std::optional<std::string>> slide_part_at_index(PackageArchive& archive,
                                                       std::uint64_t index) {
  PresentationSlides read;
  const std::vector<std::string_view> slides =
      PELVANE_TRY(list_slides(archive, Gather::Nothing, read));
  if (index >= slides.size()) return std::optional<std::string>{};
  return std::optional<std::string>(slides[static_cast<std::size_t>(index)]);
}

Result<std::string> slide_layout_target_at_index(PackageArchive& archive, std::uint64_t index) {
  const std::vector<std::string_view> layouts =
      in_natural_order(PELVANE_TRY(entry_names(archive, is_slide_layout_part)));
  if (index >= layouts.size())
    return fail(PelvaneError::xml_text_decode("slide layout index " + std::to_string(index) +
                                              " was not found"));
  // A layout part name always has a directory and a file name.
  const std::string_view name = layouts[static_cast<std::size_t>(index)];
  return "../slideLayouts/" + std::string(name.substr(name.rfind('/') + 1));
}

}  // namespace pelvane
