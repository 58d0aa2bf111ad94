#pragma once
// The program's settings of its export component and its Portuguese texts, shared by the main
// window and the command-line companion so both write the same spreadsheet.
#include "export/dtExport.h"

/// The source (`DataSet`) is set by the caller: the rows of the test it exports.
void configureMeasurementExport(TdtDataSetExport& x);

/// Writes `rows` as the program's spreadsheet under exactly `path`: its extension is kept
/// (any, or only ".xls" in any case when `anySuffix` is false); false with the component's
/// reason.
bool writeSpreadsheet(const acq::RowSource& rows, const QString& path, bool anySuffix, QString* error);
