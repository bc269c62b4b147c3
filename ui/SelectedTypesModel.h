#pragma once
// The types a scan looks for, one row each: its number from 1, its format
// and its category.

#include <QAbstractTableModel>
#include <vector>

#include "engine/FileTypes.h"

namespace pelorin::ui {

class SelectedTypesModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NumberColumn, FormatColumn, CategoryColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // The rows, in the order given.
    void setTypes(std::vector<FileType> types);
    const std::vector<FileType>& types() const { return types_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<FileType> types_;
};

}  // namespace pelorin::ui
