#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "core/workbook/workbook_cell_update.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

constexpr std::string_view kRelationshipType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string relationships(std::vector<std::array<std::string, 3>> items) {
  std::string xml =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  for (const auto& [id, type, target] : items) {
    xml += "<Relationship Id=\"" + id + "\" Type=\"" + std::string(kRelationshipType) + type +
           "\" Target=\"" + target + "\"/>";
  }
  return xml + "</Relationships>";
}

// A workbook of sheets named "Data" (sheet1), "A &amp; B" (sheet2) and "Data" again (a chart
// sheet, which cannot take a cell), with shared strings.
std::map<std::string, std::string> workbook_parts() {
  return {
      {"_rels/.rels", relationships({{"rId1", "officeDocument", "/xl/workbook.xml"}})},
      {"xl/workbook.xml",
       "<workbook xmlns:r=\"r\"><sheets><sheet name=\"Data\" sheetId=\"1\" r:id=\"rId1\"/>"
       "<sheet name=\"A &amp; B\" sheetId=\"2\" r:id=\"rId2\"/>"
       "<sheet name=\"Data\" sheetId=\"3\" r:id=\"rId4\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels",
       relationships({{"rId1", "worksheet", "worksheets/sheet1.xml"},
                      {"rId2", "worksheet", "./worksheets/../worksheets/sheet2.xml"},
                      {"rId3", "sharedStrings", "sharedStrings.xml"},
                      {"rId4", "chartsheet", "chartsheets/sheet3.xml"}})},
      {"xl/worksheets/sheet1.xml",
       "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row></sheetData>"
       "</worksheet>"},
      {"xl/worksheets/sheet2.xml", "<worksheet><sheetData/></worksheet>"},
      {"xl/chartsheets/sheet3.xml", "<chartsheet/>"},
      {"xl/sharedStrings.xml", "<sst count=\"1\" uniqueCount=\"1\"><si><t>a</t></si></sst>"},
  };
}

std::string package(const std::map<std::string, std::string>& parts) {
  std::vector<test::ZipEntry> entries;
  for (const auto& [name, bytes] : parts) entries.push_back({.name = name, .bytes = bytes});
  return test::zip_bytes(entries);
}

TEST(WorkbookCellUpdate, FindsTheSheetThroughTheRelationships) {
  struct Case {
    std::string name;
    std::function<void(std::map<std::string, std::string>&)> change;
    std::string sheet;
    std::string error;  // "" for success
  };
  using Parts = std::map<std::string, std::string>;
  const Case cases[] = {
      {"first sheet of the name", [](Parts&) {}, "Data", ""},
      {"name with a reference", [](Parts&) {}, "A & B", ""},
      {"letter case counts", [](Parts&) {}, "data", "invalid input: sheet data was not found"},
      {"no package relationships", [](Parts& p) { p.erase("_rels/.rels"); }, "Data",
       "invalid input: workbook part is missing"},
      {"no office document relationship",
       [](Parts& p) {
         p["_rels/.rels"] = relationships({{"rId1", "styles", "xl/workbook.xml"}});
       },
       "Data", "invalid input: workbook part is missing"},
      {"no workbook entry", [](Parts& p) { p.erase("xl/workbook.xml"); }, "Data",
       "invalid input: workbook part is missing"},
      {"sheet id without a prefix",
       [](Parts& p) {
         p["xl/workbook.xml"] = "<workbook><sheet name=\"Data\" id=\"rId1\"/></workbook>";
       },
       "Data", "invalid input: sheet Data was not found"},
      {"sheet id under any prefix",
       [](Parts& p) {
         p["xl/workbook.xml"] = "<x:workbook><x:sheet name=\"Data\" q:id=\"rId1\"/></x:workbook>";
       },
       "Data", ""},
      {"sheet relationship missing",
       [](Parts& p) { p["xl/_rels/workbook.xml.rels"] = relationships({}); }, "Data",
       "invalid input: sheet Data relationship is missing"},
      {"worksheet entry missing", [](Parts& p) { p.erase("xl/worksheets/sheet1.xml"); }, "Data",
       "invalid input: sheet part xl/worksheets/sheet1.xml is missing"},
      {"malformed before the sheet",
       [](Parts& p) {
         p["xl/workbook.xml"] = "<workbook><a></b><sheet name=\"Data\" r:id=\"rId1\"/>";
       },
       "Data", "xml error: "},
  };
  for (const Case& c : cases) {
    auto parts = workbook_parts();
    c.change(parts);
    const std::vector<WorkbookCellUpdate> updates = {{"B1", WorkbookCellValue::number("2")}};
    const auto result = update_workbook_cells(package(parts), c.sheet, updates);
    if (c.error.empty()) {
      EXPECT_TRUE(result) << c.name << ": " << result.error().to_string();
    } else {
      ASSERT_FALSE(result) << c.name;
      EXPECT_TRUE(result.error().to_string().starts_with(c.error))
          << c.name << ": " << result.error().to_string();
    }
  }
}

}  // namespace
}  // namespace pelvane
