#include "core/package/slide_edit.hpp"

#include "core/base/buffer_shelf.hpp"

namespace pelvane {

PackageEdit::~PackageEdit() {
  for (auto& [name, change] : changes_) WrittenTextShelf::give_back(std::move(change.content));
}

void PackageEdit::undrop(std::string_view name) {
  if (dropped_.empty()) return;
  if (const auto index = archive_.find(name)) dropped_[static_cast<std::size_t>(*index)] = false;
}

void PackageEdit::replace_part(std::string name, std::string content) {
  undrop(name);
  changes_[std::move(name)] = Change{Kind::Replace, std::move(content), {}};
}

void PackageEdit::transform_part(std::string name, Transform transform) {
  undrop(name);
  changes_[std::move(name)] = Change{Kind::Transform, {}, std::move(transform)};
}

void PackageEdit::drop_part(std::string_view name) {
  // The archive's index does not find a name with a NUL byte: it stays a change by name.
  const auto index = archive_.find(name);
  if (!index) {
    changes_[std::string(name)] = Change{Kind::Drop, {}, {}};
    return;
  }
  drop_entry(*index);
}

void PackageEdit::drop_entry(std::uint64_t index) {
  if (!changes_.empty())
    if (const auto found = changes_.find(archive_.entry_name(index)); found != changes_.end())
      changes_.erase(found);
  if (dropped_.empty()) dropped_.assign(static_cast<std::size_t>(archive_.entry_count()), false);
  dropped_[static_cast<std::size_t>(index)] = true;
}

void PackageEdit::add_part(std::string name, std::string content) {
  new_entries_.push_back(NewEntry{std::move(name), std::move(content)});
}

const std::string* PackageEdit::replacement(std::string_view name) const {
  const auto found = changes_.find(name);
  if (found == changes_.end() || found->second.kind != Kind::Replace) return nullptr;
  return &found->second.content;
}

EntryDecision PackageEdit::decision_of(const Change* change) {
  if (change == nullptr) return {};
  switch (change->kind) {
    case Kind::Replace: return {EntryAction::Replace, change->content};
    case Kind::Transform: return {EntryAction::Transform, {}};
    case Kind::Drop: return {EntryAction::Drop, {}};
  }
  return {};
}

RewritePlan PackageEdit::take_plan(const EditOptions& options) {
  RewritePlan plan;
  plan.style = options.style;
  plan.directories = options.directories;
  plan.new_entries = std::move(new_entries_);
  if (changes_.empty() && dropped_.empty()) return plan;
  // The copy loop asks about every entry: each change is placed at its entry's index once, so
  // that no question costs a lookup by name. Names are unique in an edited package; a name with
  // a NUL byte, which the archive's index does not find, keeps the lookup by name.
  static const Change kDrop{Kind::Drop, {}, {}};
  // The change of each entry by its index in the archive, none for most.
  std::vector<const Change*> placed(static_cast<std::size_t>(archive_.entry_count()), nullptr);
  for (std::size_t index = 0; index < dropped_.size(); ++index)
    if (dropped_[index]) placed[index] = &kDrop;
  bool by_index = true;
  for (const auto& [name, change] : changes_) {
    if (name.find('\0') != std::string::npos) by_index = false;
    if (const auto index = archive_.find(name)) placed[static_cast<std::size_t>(*index)] = &change;
  }
  if (by_index) {
    for (std::size_t index = 0; index < placed.size(); ++index)
      if (placed[index] != nullptr) plan.decisions.push_back({index, decision_of(placed[index])});
  } else {
    plan.decide = [this](std::uint64_t index, std::string_view name) -> EntryDecision {
      if (index < dropped_.size() && dropped_[static_cast<std::size_t>(index)])
        return decision_of(&kDrop);
      const auto found = changes_.find(name);
      return decision_of(found == changes_.end() ? nullptr : &found->second);
    };
  }
  plan.transform = [this](std::string_view name, std::string content) -> Result<std::string> {
    const auto found = changes_.find(name);
    if (found == changes_.end() || !found->second.transform) return content;
    return found->second.transform(name, std::move(content));
  };
  return plan;
}

Result<void> prepare_edit_paths(std::string_view input, std::string_view output,
                                const EditOptions& options) {
  PELVANE_TRY_VOID(check_path(input));
  // An output that is a device, a FIFO or a socket is refused before anything is done.
  (void)PELVANE_TRY(resolve_output_path(output));
  if (options.directories_first) PELVANE_TRY_VOID(create_parent_directories(output));
  return {};
}

Result<PackageArchive> open_for_edit(std::string_view input, std::string_view output,
                                     const EditOptions& options, const EditPrepare& prepare) {
  PELVANE_TRY_VOID(prepare_edit_paths(input, output, options));
  if (prepare) PELVANE_TRY_VOID(prepare());
  PackageArchive archive = PELVANE_TRY(PackageArchive::open_file(input));
  // Parts are addressed by name: a package naming two entries alike is ambiguous.
  PELVANE_TRY_VOID(check_unique_entry_names(archive));
  // The copy reads the entries' local headers anyway, with the bytes it copies: it checks that
  // the entries open.
  archive.leave_entry_checks_to_copy();
  return archive;
}

Result<PackageFacts> write_edited_package(PackageArchive& archive, PackageEdit& edit,
                                          std::string_view output, const EditOptions& options) {
  if (!options.directories_first) PELVANE_TRY_VOID(create_parent_directories(output));
  return write_package(archive, output, edit.take_plan(options));
}

Result<std::string> slide_part_for_edit(PackageArchive& archive, std::uint64_t slide_index) {
  auto part = PELVANE_TRY(slide_part_at_index(archive, slide_index));
  if (!part) {
    return fail(PelvaneError::invalid_input("slide index " + std::to_string(slide_index) +
                                            " was not found"));
  }
  return std::move(*part);
}

Result<std::string> read_slide_text(PackageArchive& archive, const std::string& slide_part,
                                    bool as_bytes) {
  auto xml = PELVANE_TRY(as_bytes ? read_archive_bytes(archive, slide_part)
                                  : read_archive_text(archive, slide_part));
  if (!xml) return fail(PelvaneError::invalid_input("slide part " + slide_part + " was not found"));
  return std::move(*xml);
}

Result<std::optional<std::pair<std::string, std::string>>> find_slide_at_index(
    PackageArchive& archive, std::uint64_t slide_index, bool as_bytes) {
  auto part = PELVANE_TRY(slide_part_at_index(archive, slide_index));
  if (!part) return std::nullopt;
  std::string xml = PELVANE_TRY(read_slide_text(archive, *part, as_bytes));
  return std::pair{std::move(*part), std::move(xml)};
}

}  // namespace pelvane
