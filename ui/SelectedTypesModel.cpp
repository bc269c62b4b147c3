#include "ui/SelectedTypesModel.h"

#include "recognisers/Registry.h"

namespace pelorin::ui {
namespace {

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

void SelectedTypesModel::setTypes(std::vector<FileType> types) {
    beginResetModel();
    types_ = std::move(types);
    endResetModel();
}

int SelectedTypesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(types_.size());
}

int SelectedTypesModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant SelectedTypesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= types_.size()) return {};
    if (role == Qt::TextAlignmentRole && index.column() == NumberColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    const FileTypeInfo& type = info(types_[static_cast<std::size_t>(index.row())]);
    switch (index.column()) {
        case NumberColumn: return index.row() + 1;
        case FormatColumn: return text(type.formatLabel);
        case CategoryColumn: return text(type.category);
        default: return {};
    }
}

QVariant SelectedTypesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case NumberColumn: return tr("No.");
        case FormatColumn: return tr("Format");
        case CategoryColumn: return tr("Category");
        default: return {};
    }
}

}  // namespace pelorin::ui
