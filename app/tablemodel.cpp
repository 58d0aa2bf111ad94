#include "app/tablemodel.h"

TableModel::TableModel(acq::Table& table, QList<GridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), table_(table), columns_(std::move(columns)) {
    for (const GridColumn& c : columns_)
        fields_ << table_.fieldIndex(c.field);
    rows_ = table_.recordCount();
    observer_ = table_.addObserver([this](acq::Table::Change c) {
        if (c == acq::Table::Change::Data) {
            beginResetModel();
            fields_.clear();
            for (const GridColumn& col : columns_)
                fields_ << table_.fieldIndex(col.field);
            rows_ = table_.recordCount();
            endResetModel();
        }
        Q_EMIT currentRowChanged(table_.currentPosition());
    });
}

TableModel::~TableModel() { table_.removeObserver(observer_); }

int TableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= fields_.size())
        return {};
    if (role == Qt::DisplayRole)
        return table_.displayTextAt(table_.visibleRow(index.row()), fields_[index.column()]);
    if (role == Qt::TextAlignmentRole) {
        const int f = fields_[index.column()];
        const bool numeric = f >= 0 && table_.fields()[f].type != acq::FieldType::String;
        return QVariant::fromValue(Qt::AlignVCenter | (numeric ? Qt::AlignRight : Qt::AlignLeft));
    }
    return {};
}

QVariant TableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columns_.size())
        return QAbstractTableModel::headerData(section, o, role);
    const GridColumn& c = columns_[section];
    if (!c.title.isEmpty())
        return c.title;
    const int f = fields_[section];
    return f >= 0 ? table_.fields()[f].displayName() : c.field;
}
