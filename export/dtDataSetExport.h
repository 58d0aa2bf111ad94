#pragma once
// TdtDataSetExport: the export component over rows of typed fields.
#include "export/dtCustomExport.h"

#include "acquisition/records.h"

#include <functional>
#include <memory>

/// The component over rows of typed fields: the fields are the columns, the rows in their order
/// the rows (for the program, the shown test's rows as the grid lists them).
class TdtDataSetExport : public TdtCustomExport {
public:
    TdtDataSetExport();
    /// The rows to export; or, when it is not set, `Source` gives them as an export starts.
    const acq::RowSource* DataSet = nullptr;
    std::function<std::unique_ptr<acq::RowSource>()> Source;

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
    /// The rows of the export in progress.
    const acq::RowSource* rows() { return current_ ? current_ : take(); }
    const acq::RowSource* take();
    std::unique_ptr<acq::RowSource> taken_;
    const acq::RowSource* current_ = nullptr;
    qsizetype row_ = 0;
};
