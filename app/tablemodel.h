#pragma once
// The grid's view of the shown test: its rows in the order the test view lists them, chosen
// fields shown with their display formats.
#include "acquisition/measurements.h"

#include <QAbstractTableModel>

struct GridColumn {
    QString field;
    QString title; ///< empty: the field's display name
    int width;
};

class TableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TableModel(const acq::Measurements& data, QList<GridColumn> columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    const QList<GridColumn>& columns() const { return columns_; }
    /// Shows these rows of the measurements (their indices), in this order.
    void show(std::vector<int> rows);
    const std::vector<int>& shown() const { return rows_; }
    /// The measurements' row that grid row `row` shows; -1 when none.
    int rowAt(int row) const;

private:
    const acq::Measurements& data_;
    QList<GridColumn> columns_;
    QList<int> fields_; ///< the column of the measurements each grid column shows, or -1
    std::vector<int> rows_;
};
