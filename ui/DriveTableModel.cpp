#include "ui/DriveTableModel.h"

#include "ui/DriveKind.h"

namespace pelorin::ui {

DriveTableModel::DriveTableModel(const DriveList& list, QObject* parent) : QAbstractTableModel(parent), list(list) {}

void DriveTableModel::reload() {
    beginResetModel();
    endResetModel();
}

int DriveTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list.numberOfRows());
}

int DriveTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant DriveTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= list.numberOfRows()) return {};
    const MediaDictionary& row = list.row(static_cast<std::size_t>(index.row()));
    if (role == Qt::ToolTipRole) return tr("Select drive for scanning");
    if (index.column() == SizeColumn) {
        if (role == Qt::DisplayRole) return QString::fromStdString(driveSizeText(row));
        if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    switch (role) {
        case Qt::DisplayRole: return QString::fromStdString(driveTitle(row));
        case SubtitleRole: return QString::fromStdString(row.textOrEmpty(mediakey::kDevicePath));
        case Qt::DecorationRole: return driveIcon(driveKind(row));
        default: return {};
    }
}

QVariant DriveTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == DrivesColumn ? tr("Drives") : tr("Size");
}

}  // namespace pelorin::ui
