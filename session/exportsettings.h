#pragma once
// The program's settings of its export component and its Portuguese texts, shared by the main
// window and the command-line companion so both write the same spreadsheet.
#include "acquisition/table.h"
#include "export/dtExport.h"

void configureMeasurementExport(TdtDataSetExport& x, acq::Table& table);
