#pragma once
// TdtDataSetExport: the export component over a table of the table engine.
#include "export/dtCustomExport.h"

namespace acq { class Table; }

/// The component over a table of the table engine: its fields are the columns, its visible
/// rows (order and filter) the rows.
class TdtDataSetExport : public TdtCustomExport {
public:
    TdtDataSetExport();
    acq::Table* DataSet = nullptr;

    void SaveSourceState() override;
    void RestoreSourceState() override;
    void FirstRow() override;
    bool SourceReady() override;
    bool EndOfRows() override;
    bool ColumnVisible(int index) override;
    bool RowSelected(int) override { return true; }
    int SourceColumnWidth(int index) override;
    QString SourceColumnCaption(int index) override;
    int ColumnCount() override;
    void ReadRow(TdtValues& values) override;
    int RowCount() override;

private:
    int bookmark_ = -1;
};
