#pragma once
// The drive table: one row per drive of the drive list, with the drive (its
// title, device path and icon) in the first column and its size in the second.

#include <QAbstractTableModel>

#include "drives/DriveList.h"

namespace pelorin::ui {

class DriveTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { DrivesColumn, SizeColumn, ColumnCount };
    // The drives column: DisplayRole is the title, DecorationRole the icon.
    enum Role { SubtitleRole = Qt::UserRole + 1 };

    explicit DriveTableModel(const DriveList& list, QObject* parent = nullptr);

    // The list was rebuilt.
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const DriveList& list;
};

}  // namespace pelorin::ui
