#include "core/workbook/workbook_cell_update.hpp"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "core/package/package_rewrite.hpp"
#include "core/package/relationships.hpp"
#include "core/workbook/cell_references.hpp"
#include "core/workbook/shared_string_table.hpp"
#include "core/workbook/worksheet_cell_rewriter.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {

// The relationship id of the first `sheet` element (any prefix, any depth) whose name is
// `sheet_name`; none when no sheet has that name or the first one that has it carries no id.
// The name and the id (a prefixed attribute whose local name is "id") are read with their
// references resolved. The part is read only up to that element.
Result<std::optional<std::string>> sheet_relationship_id(std::string_view workbook,
                                                         std::string_view sheet_name) {
  XmlReader reader(workbook);
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) return std::nullopt;
    if (!event.is_tag() || event.local_name() != "sheet") continue;
    std::optional<std::string> name;
    std::optional<std::string> id;
    for (const XmlAttribute& attribute : event.attributes()) {
      if (attribute.malformed) continue;
      if (attribute.name == "name")
        name = unescape_xml(attribute.value);
      else if (attribute.name.contains(':') && attribute.local_name() == "id")
        id = unescape_xml(attribute.value);
    }
    if (name && *name == sheet_name) return id;
  }
}

const RelationshipSummary* first_of_type(const std::vector<RelationshipSummary>& relationships,
                                         std::string_view type_suffix) {
  const auto found = std::ranges::find_if(relationships, [&](const RelationshipSummary& r) {
    return r.relationship_type.ends_with(type_suffix);
  });
  return found == relationships.end() ? nullptr : &*found;
}

PelvaneError invalid(std::string message) {
  return PelvaneError::invalid_input(std::move(message));
}

}  // namespace

Result<std::string> update_workbook_cells(std::string_view xlsx, std::string_view sheet_name,
                                          std::span<const WorkbookCellUpdate> updates) {
  const WorkbookCellPlan plan = PELVANE_TRY(plan_workbook_cell_updates(updates));
  PackageArchive archive = PELVANE_TRY(PackageArchive::open_bytes(xlsx));

  // The workbook part, from the package relationships.
  const auto package_relationships = PELVANE_TRY(read_relationships(archive, ""));
  const RelationshipSummary* office = first_of_type(package_relationships, "/officeDocument");
  if (office == nullptr) return fail(invalid("workbook part is missing"));
  const std::string workbook_part = resolve_target("", office->target);
  const auto workbook = PELVANE_TRY(read_archive_bytes(archive, workbook_part));
  if (!workbook) return fail(invalid("workbook part is missing"));

  // The sheet, its worksheet part and the shared strings part, from the workbook's.
  const auto sheet_id = PELVANE_TRY(sheet_relationship_id(*workbook, sheet_name));
  if (!sheet_id) return fail(invalid("sheet " + std::string(sheet_name) + " was not found"));
  const auto workbook_relationships = PELVANE_TRY(read_relationships(archive, workbook_part));
  const auto sheet = std::ranges::find(workbook_relationships, *sheet_id, &RelationshipSummary::id);
  if (sheet == workbook_relationships.end())
    return fail(invalid("sheet " + std::string(sheet_name) + " relationship is missing"));
  const std::string worksheet_part = resolve_target(workbook_part, sheet->target);
  const RelationshipSummary* strings = first_of_type(workbook_relationships, "/sharedStrings");

  auto worksheet = PELVANE_TRY(read_archive_bytes(archive, worksheet_part));
  if (!worksheet) return fail(invalid("sheet part " + worksheet_part + " is missing"));
  std::string strings_part;
  std::optional<std::string> strings_bytes;
  std::optional<SharedStringTable> table;
  if (strings != nullptr) {
    strings_part = resolve_target(workbook_part, strings->target);
    strings_bytes = PELVANE_TRY(read_archive_bytes(archive, strings_part));
    if (strings_bytes) table = PELVANE_TRY(SharedStringTable::parse(*strings_bytes));
  }

  WorksheetCellRewriter rewriter(plan, table ? &*table : nullptr, worksheet->size());
  PELVANE_TRY_VOID(rewriter.rewrite(*worksheet));
  worksheet.reset();  // the rewritten sheet takes its place while the package is written
  const auto delta = static_cast<std::int64_t>(rewriter.added_references()) -
                     static_cast<std::int64_t>(rewriter.removed_references());
  std::map<std::string, std::string, std::less<>> replaced;
  replaced[worksheet_part] = std::move(rewriter).take();
  if (table && (delta != 0 || !table->appended().empty()))
    replaced[strings_part] = PELVANE_TRY(table->rewrite(*strings_bytes, delta));

  // Every other entry is copied raw; the rewritten ones keep their method and time.
  RewritePlan rewrite;
  rewrite.decide = [&](std::uint64_t, std::string_view name) {
    const auto found = replaced.find(name);
    return found == replaced.end() ? EntryDecision{}
                                   : EntryDecision{EntryAction::Replace, found->second};
  };
  rewrite.keep_replaced_entry_time = true;
  std::string output;
  output.reserve(xlsx.size() + 1024);
  PELVANE_TRY_VOID(write_package_to_buffer(archive, output, rewrite));
  return output;
}

}  // namespace pelvane
