#pragma once
// The export component in one include: the component and its run, the dataset source, the
// spreadsheet's cell rule and the row-number formatter.
#include "export/dtCellRule.h"
#include "export/dtCustomExport.h"
#include "export/dtDataSetExport.h"
#include "export/dtRowNumber.h"
