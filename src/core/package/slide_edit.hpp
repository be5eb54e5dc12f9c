// The one road of every editing operation: paths checked, the output's parent directories
// created, the input opened, the parts changed in memory by the family's rewrite, and the
// package written once through `write_package`.
//
// A family supplies only its rewrite. `edit_slide` addresses one slide by index and hands the
// rewrite that slide's text; `edit_package` hands the rewrite the whole package, for operations
// that change several parts (every slide, a batch, the slide list). Either way the rewrite states
// its changes on the edit (the slide's new text, parts replaced, transformed, dropped or added)
// and the road turns them into one rewrite plan. A failure anywhere leaves no output file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/base/error.hpp"
#include "core/base/file_output.hpp"
#include "core/base/keyed_hash.hpp"
#include "core/package/package_rewrite.hpp"
#include "core/package/part_names.hpp"
#include "core/package/slide_order.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

// How the package is written and when the output's folder is made. Operations name one of the
// policies below rather than spelling these fields.
struct EditOptions {
  RewriteStyle style = RewriteStyle::RawCopy;
  DirectoryStyle directories = DirectoryStyle::RawCopy;
  // Create the output's parent directories before the input is opened (most operations);
  // when false they are created only once every change has succeeded.
  bool directories_first = true;
  // `edit_slide` hands the rewrite the slide's bytes as stored, for rewrites that pass text
  // through without decoding it; by default the slide must be UTF-8 (`Io` otherwise).
  bool slide_as_bytes = false;
};

// New shapes, groups and tables, and the round trip: the least work, every unchanged entry
// (directory entries too) copied raw.
inline constexpr EditOptions kRawCopyEdit{};
// Pictures, movies, objects, new and duplicated slides: unchanged entries copied raw, directory
// entries written anew as directories.
inline constexpr EditOptions kNewPartsEdit{.directories = DirectoryStyle::AsDirectory};
// Placeholders and image replacement: every entry written again under a new header.
inline constexpr EditOptions kRecompressEdit{.style = RewriteStyle::Recompress,
                                             .directories = DirectoryStyle::AsDirectory};
// Text and table cell edits: as `kRecompressEdit`, the slides handed over as stored, since most
// text rewrites pass old text through without decoding it.
inline constexpr EditOptions kTextEdit{.style = RewriteStyle::Recompress,
                                       .directories = DirectoryStyle::AsDirectory,
                                       .slide_as_bytes = true};
// Slide deletion: every entry written again, a directory entry as an empty file.
inline constexpr EditOptions kSlideDeletionEdit{.style = RewriteStyle::Recompress,
                                                .directories = DirectoryStyle::AsEmptyFile};
// The edit batch: unchanged entries copied raw; the output's folder made only once every edit
// has succeeded, so that a refused batch leaves no folder behind.
inline constexpr EditOptions kDeferredFolders{.directories_first = false};

// An operation's own checks between preparing the paths and opening the input: reading the
// files it is given, checking its arguments, so that their faults are reported before those of
// the package. Empty: none.
using EditPrepare = std::function<Result<void>()>;

// The changes an operation makes to a package, collected before anything is written.
class PackageEdit {
 public:
  using Transform = std::function<Result<std::string>(std::string_view name, std::string content)>;

  explicit PackageEdit(PackageArchive& archive) : archive_(archive) {}
  PackageEdit(const PackageEdit&) = delete;
  PackageEdit& operator=(const PackageEdit&) = delete;
  // Gives the replacements' bytes back to their shelf (buffer_shelf.hpp) for the next edit.
  ~PackageEdit();

  PackageArchive& archive() { return archive_; }

  // The entry named `name` is written from `content` (keeping its compression method).
  void replace_part(std::string name, std::string content);
  // The entry's content is read while the package is written and passed through `transform`.
  void transform_part(std::string name, Transform transform);
  // The entry is not written.
  void drop_part(std::string_view name);
  // The same for the entry at `index` of the archive, which the caller found.
  void drop_entry(std::uint64_t index);
  // A new entry, written after every input entry in the order of these calls.
  void add_part(std::string name, std::string content);

  // The content this edit gives the part so far: its replacement, else none.
  const std::string* replacement(std::string_view name) const;

  // The rewrite plan of these changes, valid while this edit lives. The new parts move into the
  // plan rather than being copied, so the plan is taken once.
  RewritePlan take_plan(const EditOptions& options);

 private:
  enum class Kind { Replace, Transform, Drop };
  struct Change {
    Kind kind = Kind::Replace;
    std::string content;
    Transform transform;
  };

  static EntryDecision decision_of(const Change* change);
  // A part about to be replaced or transformed is no longer dropped by index.
  void undrop(std::string_view name);

  PackageArchive& archive_;
  std::unordered_map<std::string, Change, KeyedHash, std::equal_to<>> changes_;
  // The dropped entries that the archive's index finds, by index (empty until the first): a
  // deletion drops thousands of parts, each kept here rather than as a change by name. An entry
  // is either here or in `changes_`, as the last call about it says.
  std::vector<bool> dropped_;
  std::vector<NewEntry> new_entries_;
};

// One slide's text, open for a rewrite; everything else of the package through `package()`.
class SlideEdit {
 public:
  SlideEdit(PackageEdit& package, std::uint64_t slide_index, std::string slide_part,
            std::string xml)
      : package_(package),
        slide_index_(slide_index),
        slide_part_(std::move(slide_part)),
        xml_(std::move(xml)) {}

  PackageEdit& package() { return package_; }
  PackageArchive& archive() { return package_.archive(); }
  std::uint64_t slide_index() const { return slide_index_; }
  const std::string& slide_part() const { return slide_part_; }
  // The slide's text: the input's on entry; whatever the rewrite leaves is written.
  std::string& xml() { return xml_; }

 private:
  PackageEdit& package_;
  std::uint64_t slide_index_;
  std::string slide_part_;
  std::string xml_;
};

// What an edit returns besides the family's own value.
template <class T>
struct Edited {
  T value;
  // The slide `edit_slide` addressed; none and empty for whole-package edits.
  std::optional<std::uint64_t> slide_index{};
  std::string slide_part{};
  PackageFacts facts{};
};

// Every editing record begins with `path` and ends with the figures of the package as written;
// this is the one place that fills them: `path` (the output as the caller gave it),
// `part_count` and `has_vba` from the edit's facts and, for a record that names its slide, the
// `slide_index` and `slide_part` that `edit_slide` addressed (an operation that finds its slide
// itself names it in the record it passes).
template <class Record, class T>
Record finish_record(Record record, std::string_view output, const Edited<T>& edited) {
  record.path = std::string(output);
  if constexpr (requires { record.slide_index; }) {
    if (edited.slide_index) record.slide_index = *edited.slide_index;
  }
  if constexpr (requires { record.slide_part; }) {
    if (!edited.slide_part.empty()) record.slide_part = edited.slide_part;
  }
  record.part_count = edited.facts.part_count;
  record.has_vba = edited.facts.has_vba;
  return record;
}

// The same for an edit whose value is the record itself.
template <class Record>
Record finish_record(Edited<Record> edited, std::string_view output) {
  Record record = std::move(edited.value);
  return finish_record(std::move(record), output, edited);
}

// Checks both paths (an output that is not a regular file is refused, see
// `resolve_output_path`) and creates the output's parent directories unless they are deferred.
Result<void> prepare_edit_paths(std::string_view input, std::string_view output,
                                const EditOptions& options);

// `prepare_edit_paths`, then the operation's `prepare` step, then opens the input; a package
// holding two entries of one name is refused (`check_unique_entry_names`).
Result<PackageArchive> open_for_edit(std::string_view input, std::string_view output,
                                     const EditOptions& options, const EditPrepare& prepare);

// Writes the package with the edit's changes (creating deferred parent directories first).
Result<PackageFacts> write_edited_package(PackageArchive& archive, PackageEdit& edit,
                                          std::string_view output, const EditOptions& options);

// The slide part at `slide_index`; a missing slide is `InvalidInput`
// "slide index {0} was not found".
Result<std::string> slide_part_for_edit(PackageArchive& archive, std::uint64_t slide_index);

// The text of a listed slide part (its bytes as stored with `as_bytes`); a part the archive
// lacks (or cannot open) is `InvalidInput` "slide part {0} was not found".
Result<std::string> read_slide_text(PackageArchive& archive, const std::string& slide_part,
                                    bool as_bytes = false);

// The same, except that a slide index past the last slide gives none instead of an error.
Result<std::optional<std::pair<std::string, std::string>>> find_slide_at_index(
    PackageArchive& archive, std::uint64_t slide_index, bool as_bytes = false);

// The whole-package road. `prepare`: see `EditPrepare`; `rewrite`: Result<T>(PackageEdit&).
template <class Rewrite>
auto edit_package(std::string_view input, std::string_view output, const EditOptions& options,
                  const EditPrepare& prepare, Rewrite&& rewrite)
    -> Result<Edited<typename std::invoke_result_t<Rewrite&, PackageEdit&>::value_type>> {
  using T = typename std::invoke_result_t<Rewrite&, PackageEdit&>::value_type;
  auto archive = PELVANE_TRY(open_for_edit(input, output, options, prepare));
  auto edited = [&]() -> Result<Edited<T>> {
    PackageEdit edit(archive);
    T value = PELVANE_TRY(rewrite(edit));
    auto facts = PELVANE_TRY(write_edited_package(archive, edit, output, options));
    return Edited<T>{.value = std::move(value), .facts = facts};
  }();
  // Every step fails after the listing each rewrite starts with, which checks the entries up
  // front.
  if (!edited) return fail(entry_failure_first(archive, std::move(edited).error()));
  return edited;
}

// The same without a `prepare` step.
template <class Rewrite>
auto edit_package(std::string_view input, std::string_view output, const EditOptions& options,
                  Rewrite&& rewrite) {
  return edit_package(input, output, options, EditPrepare{}, std::forward<Rewrite>(rewrite));
}

// What a `look_up` step of `edit_slide` yields.
template <class LookUp>
using LookedUpValue =
    typename std::invoke_result_t<LookUp&, PackageArchive&, const std::string&>::value_type;

// The one-slide road. `prepare`: see `EditPrepare`; `look_up`, a step between addressing the
// slide and reading its text, for operations whose own lookups in the package are checked
// before the slide's text: Result<L>(PackageArchive&, const std::string& slide_part);
// `rewrite`: Result<T>(SlideEdit&, L&). The slide is written from its text as the rewrite
// leaves it.
template <class LookUp, class Rewrite>
auto edit_slide(std::string_view input, std::string_view output, std::uint64_t slide_index,
                const EditOptions& options, const EditPrepare& prepare, LookUp&& look_up,
                Rewrite&& rewrite)
    -> Result<Edited<
        typename std::invoke_result_t<Rewrite&, SlideEdit&, LookedUpValue<LookUp>&>::value_type>> {
  using L = LookedUpValue<LookUp>;
  using T = typename std::invoke_result_t<Rewrite&, SlideEdit&, L&>::value_type;
  auto archive = PELVANE_TRY(open_for_edit(input, output, options, prepare));
  auto edited = [&]() -> Result<Edited<T>> {
    std::string part = PELVANE_TRY(slide_part_for_edit(archive, slide_index));
    L looked_up = PELVANE_TRY(look_up(archive, std::as_const(part)));
    std::string xml = PELVANE_TRY(read_slide_text(archive, part, options.slide_as_bytes));
    PackageEdit edit(archive);
    SlideEdit slide(edit, slide_index, std::move(part), std::move(xml));
    T value = PELVANE_TRY(rewrite(slide, looked_up));
    edit.replace_part(slide.slide_part(), std::move(slide.xml()));
    auto facts = PELVANE_TRY(write_edited_package(archive, edit, output, options));
    return Edited<T>{std::move(value), slide_index, slide.slide_part(), facts};
  }();
  // Every step fails after the slide listing, which checks the entries up front.
  if (!edited) return fail(entry_failure_first(archive, std::move(edited).error()));
  return edited;
}

// The same without a `prepare` step.
template <class LookUp, class Rewrite>
auto edit_slide(std::string_view input, std::string_view output, std::uint64_t slide_index,
                const EditOptions& options, LookUp&& look_up, Rewrite&& rewrite) {
  return edit_slide(input, output, slide_index, options, EditPrepare{},
                    std::forward<LookUp>(look_up), std::forward<Rewrite>(rewrite));
}

// The same with neither step: `rewrite`: Result<T>(SlideEdit&).
template <class Rewrite>
auto edit_slide(std::string_view input, std::string_view output, std::uint64_t slide_index,
                const EditOptions& options, Rewrite&& rewrite) {
  return edit_slide(
      input, output, slide_index, options,
      [](PackageArchive&, const std::string&) -> Result<bool> { return true; },
      [&](SlideEdit& slide, bool&) { return rewrite(slide); });
}

}  // namespace pelvane
