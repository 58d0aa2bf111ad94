#include "app/tablemodel.h"

TableModel::TableModel(const acq::Measurements& data, QList<GridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), data_(data), columns_(std::move(columns)) {
    const QList<acq::FieldDef> ours = acq::measurementFields();
    for (const GridColumn& c : columns_) {
        int at = -1;
        for (int i = 0; i < ours.size(); ++i)
            if (ours[i].name.compare(c.field, Qt::CaseInsensitive) == 0)
                at = i;
        fields_ << at;
    }
}

void TableModel::show(std::vector<int> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int TableModel::rowAt(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)] : -1;
}

int TableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(rows_.size()); }

int TableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= fields_.size())
        return {};
    const int field = fields_[index.column()];
    if (role == Qt::DisplayRole) {
        const int row = rowAt(index.row());
        return field >= 0 && row >= 0 ? data_.displayText(row, field) : QString();
    }
    if (role == Qt::TextAlignmentRole) // every field of the grid is a number
        return QVariant::fromValue(Qt::AlignVCenter | Qt::AlignRight);
    return {};
}

QVariant TableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columns_.size())
        return QAbstractTableModel::headerData(section, o, role);
    const GridColumn& c = columns_[section];
    if (!c.title.isEmpty())
        return c.title;
    const int f = fields_[section];
    return f >= 0 ? acq::measurementFields()[f].displayName() : c.field;
}
