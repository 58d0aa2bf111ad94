#pragma once
// The spreadsheet format behind the writer's six calls: TdtNativeExcel driven with the
// component's EXCEL settings, each caption and data cell stored by the cell rule.
#include <memory>

class TdtCustomExport;
class TdtExportWriter;

namespace dtexcel {
/// The writer of xtExcel over the component's own TdtNativeExcel.
std::unique_ptr<TdtExportWriter> excelFormat(TdtCustomExport& c);
} // namespace dtexcel
