// Character formatting of runs: one attribute, the Latin font, or whole patches for many runs
// in one pass.
#include <map>

#include "core/text/text_format_rewrite.hpp"

namespace pelvane {

namespace {

// What one run's properties receive.
struct RunEdit {
  AttributeChanges attributes;
  CharacterChildren children;
  std::uint64_t count = 0;
};

Result<std::optional<CheckedText>> checked(const PropertyChange<std::string_view>& change) {
  if (!change.has_value()) return std::nullopt;
  return PELVANE_TRY(CheckedText::check(*change.value));
}

// One pass over the slide; `edit_of(run_number)` gives the edit of each run (start tags named
// `r`, not inside an edited run), a pointer that stays valid until the run ends, or null.
template <class EditOf>
Result<RewriteOutput> rewrite_run_properties(std::string_view xml, EditOf&& edit_of) {
  SlideStream stream(xml);
  std::uint64_t runs = 0;
  std::uint64_t count = 0;
  const RunEdit* edit = nullptr;  // the run being edited
  std::size_t run_depth = 0;      // the reader's depth inside it
  bool handled = false;           // its properties are written
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    const std::size_t depth = stream.reader.depth();
    if (edit == nullptr) {
      stream.writer.write_event(event);
      if (event.is_start() && event.local_name() == "r") {
        edit = PELVANE_TRY(edit_of(runs++));
        run_depth = depth;
        handled = false;
      }
      continue;
    }
    const bool first_child =
        !handled && event.is_tag() && depth == run_depth + (event.is_start() ? 1 : 0);
    const bool run_end = event.is_end() && depth + 1 == run_depth;
    if (first_child || (run_end && !handled)) {
      handled = true;
      count += edit->count;
      if (first_child && event.local_name() == "rPr") {
        PELVANE_TRY_VOID(rewrite_character_properties(stream.reader, stream.writer, event,
                                                      edit->attributes, edit->children));
        continue;
      }
      write_character_properties(stream.writer, edit->attributes.new_tag("a:rPr"), edit->children);
    }
    if (run_end) edit = nullptr;
    stream.writer.write_event(event);
  }
}

// A pass that edits the one run `run_index` with `edit`.
Result<RewriteOutput> rewrite_one_run(std::string_view xml, std::uint64_t run_index,
                                      const RunEdit& edit) {
  return rewrite_run_properties(xml, [&](std::uint64_t run) -> Result<const RunEdit*> {
    return run == run_index ? &edit : nullptr;
  });
}

}  // namespace

Result<RewriteOutput> set_text_run_optional_attribute_at_index_in_slide(
    std::string_view xml, std::uint64_t run_index, std::string_view attribute,
    std::optional<std::string_view> value) {
  RunEdit edit;
  if (value) PELVANE_TRY_VOID(check_xml_text(*value));
  edit.attributes.add(attribute, value ? std::optional<std::string>(*value) : std::nullopt);
  edit.count = 1;
  return rewrite_one_run(xml, run_index, edit);
}

Result<RewriteOutput> set_text_run_underline_at_index_in_slide(std::string_view xml,
                                                               std::uint64_t run_index,
                                                               std::optional<bool> underline) {
  std::optional<std::string_view> value;
  if (underline) value = *underline ? "sng" : "none";
  return set_text_run_optional_attribute_at_index_in_slide(xml, run_index, "u", value);
}

Result<RewriteOutput> set_text_run_font_name_at_index_in_slide(
    std::string_view xml, std::uint64_t run_index, std::optional<std::string_view> name) {
  RunEdit edit;
  if (name) edit.children.latin = PELVANE_TRY(CheckedText::check(*name));
  edit.children.drop_latin = true;
  edit.count = 1;
  return rewrite_one_run(xml, run_index, edit);
}

TextRunFormattingPatch TextRunFormattingPatch::from(const edit::SetTextRunFormatting& operation) {
  TextRunFormattingPatch patch;
  take_character_changes(patch, operation);
  return patch;
}

std::uint64_t TextRunFormattingPatch::change_count() const {
  return std::uint64_t{bold.set} + italic.set + underline.set + size.set + name.set + color.set;
}

void TextRunFormattingPatch::merge(const TextRunFormattingPatch& later) {
  const auto take = [](auto& mine, const auto& theirs) {
    if (theirs.set) mine = theirs;
  };
  take(bold, later.bold);
  take(italic, later.italic);
  take(underline, later.underline);
  take(size, later.size);
  take(name, later.name);
  take(color, later.color);
}

Result<RewriteOutput> set_text_run_formatting_batch_in_slide(
    std::string_view xml, std::span<const std::pair<std::uint64_t, TextRunFormattingPatch>> runs) {
  std::map<std::uint64_t, TextRunFormattingPatch> patches;
  for (const auto& [run, patch] : runs) {
    PELVANE_TRY_VOID(checked(patch.name));
    PELVANE_TRY_VOID(checked(patch.color));
    patches[run].merge(patch);
  }
  std::optional<RunEdit> active;
  return rewrite_run_properties(xml, [&](std::uint64_t run) -> Result<const RunEdit*> {
    const auto found = patches.find(run);
    if (found == patches.end()) return nullptr;
    const TextRunFormattingPatch& patch = found->second;
    RunEdit& edit = active.emplace();
    edit.attributes.add_flag("b", patch.bold, "1", "0");
    edit.attributes.add_flag("i", patch.italic, "1", "0");
    edit.attributes.add_flag("u", patch.underline, "sng", "none");
    edit.attributes.add_size(patch.size);
    edit.children.drop_fills = patch.color.set;
    edit.children.color = PELVANE_TRY(checked(patch.color));
    if (edit.children.color) edit.children.fill = CharacterChildren::Fill::Color;
    edit.children.drop_latin = patch.name.set;
    edit.children.latin = PELVANE_TRY(checked(patch.name));
    edit.count = patch.change_count();
    return &edit;
  });
}

}  // namespace pelvane
