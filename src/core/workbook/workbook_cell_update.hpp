// Updating cells of one worksheet of a workbook package held in memory (an embedded workbook of
// a chart): numbers, strings and clears in, the new package's bytes out.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"

namespace pelvane {

// Plans the updates (nothing is read before they all pass), finds the sheet named `sheet_name`
// through the package and workbook relationships, rewrites its worksheet part (always) and the
// shared strings part (when texts were added or its reference count changed), and writes the
// new package into memory: those entries keep their compression method and time, every other
// entry is copied raw, in the input's order. `xlsx` is only read.
//
// Failures of its own, all `InvalidInput`: "workbook part is missing", "sheet {0} was not
// found", "sheet {0} relationship is missing", "sheet part {0} is missing"; besides those of
// the plan and of the worksheet pass, `Zip` for bytes that are not a readable archive and `Xml`
// for malformed parts.
Result<std::string> update_workbook_cells(std::string_view xlsx, std::string_view sheet_name,
                                          std::span<const WorkbookCellUpdate> updates);

}  // namespace pelvane
