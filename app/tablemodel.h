#pragma once
// The grid's view of a table: the visible rows (index order, filter) of chosen fields, shown
// with the fields' display formats. Follows the table through its observer.
#include "acquisition/table.h"

#include <QAbstractTableModel>

struct GridColumn {
    QString field;
    QString title; ///< empty: the field's display name
    int width;
};

class TableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TableModel(acq::Table& table, QList<GridColumn> columns, QObject* parent = nullptr);
    ~TableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    const QList<GridColumn>& columns() const { return columns_; }
    acq::Table::Bookmark rowAt(int row) const { return table_.visibleRow(row); }

Q_SIGNALS:
    void currentRowChanged(int row);

private:
    acq::Table& table_;
    QList<GridColumn> columns_;
    QList<int> fields_;
    int observer_;
    int rows_ = 0;
};
