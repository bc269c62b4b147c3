#include "ui/FoundTreeModel.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>

#include "engine/CheckController.h"
#include "engine/SizeText.h"

namespace pelorin::ui {
namespace {

const QList<int> kTickRoles = {Qt::CheckStateRole, Qt::ToolTipRole};

Qt::CheckState checkStateOf(const FoundNode& node) {
    switch (CheckController::markState(node)) {
        case 1: return Qt::Checked;
        case 0: return Qt::Unchecked;
        default: return Qt::PartiallyChecked;
    }
}

// With no icon theme installed the style's icons are what the user sees, so
// at least sound, video and everything else look different.
QIcon styleIconForMime(const QMimeType& mime) {
    QStyle* style = QApplication::style();
    const QString name = mime.name();
    if (name.startsWith(QLatin1String("audio/"))) return style->standardIcon(QStyle::SP_MediaVolume);
    if (name.startsWith(QLatin1String("video/"))) return style->standardIcon(QStyle::SP_MediaPlay);
    return style->standardIcon(QStyle::SP_FileIcon);
}

// A file's icon with the theme's link in its lower right corner: the mark of
// a file put back together from pieces. Without a link in the theme, the
// style's file with a link arrow.
QIcon withLinkEmblem(const QIcon& icon) {
    QIcon link;
    for (const char* name : {"insert-link", "insert-link-symbolic", "emblem-symbolic-link"})
        if (QIcon::hasThemeIcon(QLatin1String(name))) {
            link = QIcon::fromTheme(QLatin1String(name));
            break;
        }
    if (link.isNull()) return QApplication::style()->standardIcon(QStyle::SP_FileLinkIcon);
    QIcon marked;
    for (const int side : {16, 22, 32, 48}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        icon.paint(&painter, QRect(0, 0, side, side));
        const int emblem = side * 5 / 8;
        link.paint(&painter, QRect(side - emblem, side - emblem, emblem, emblem));
        painter.end();
        marked.addPixmap(pixmap);
    }
    return marked;
}

}  // namespace

FoundTreeModel::FoundTreeModel(SelectionTotals& totals, QObject* parent) : QAbstractItemModel(parent), totals_(totals) {}

void FoundTreeModel::setRoot(FoundNode* root) {
    beginResetModel();
    root_ = root;
    endResetModel();
}

FoundNode* FoundTreeModel::nodeAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return nullptr;
    return static_cast<FoundNode*>(index.internalPointer());
}

QModelIndex FoundTreeModel::indexOf(const FoundNode* node, int column) const {
    if (!node || !root_) return {};
    const int row = node == root_ ? 0 : node->row();
    if (row < 0) return {};
    return createIndex(row, column, const_cast<FoundNode*>(node));
}

void FoundTreeModel::setTicked(FoundNode* node, bool ticked) {
    if (!node || ticksLocked_) return;
    CheckController(node, ticked, totals_).run();
    announceTickChange(*node);
    emit ticksChanged();
}

void FoundTreeModel::setTicksLocked(bool locked) { ticksLocked_ = locked; }

int FoundTreeModel::childCount(const FoundNode& node) const {
    // A node that counts nothing below it shows as a leaf, whatever it holds.
    return node.expandable() ? static_cast<int>(node.children().size()) : 0;
}

QModelIndex FoundTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (!root_ || row < 0 || column < 0 || column >= ColumnCount) return {};
    if (!parent.isValid()) return row == 0 ? createIndex(0, column, root_) : QModelIndex{};
    const FoundNode* up = nodeAt(parent);
    if (!up || row >= childCount(*up)) return {};
    return createIndex(row, column, up->childAtIndex(row));
}

QModelIndex FoundTreeModel::parent(const QModelIndex& child) const {
    const FoundNode* node = nodeAt(child);
    if (!node || node == root_) return {};
    return indexOf(node->parent());
}

int FoundTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return root_ ? 1 : 0;
    if (parent.column() != FilesColumn) return 0;
    const FoundNode* node = nodeAt(parent);
    return node ? childCount(*node) : 0;
}

int FoundTreeModel::columnCount(const QModelIndex&) const { return ColumnCount; }

bool FoundTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant FoundTreeModel::data(const QModelIndex& index, int role) const {
    const FoundNode* node = nodeAt(index);
    if (!node) return {};
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            if (column == FilesColumn) return QString::fromStdString(node->fileName());
            if (column == SizeColumn) return QString::fromStdString(sizeText(node->fileSize()));
            if (column == FilesCountColumn) return filesCountText(*node);
            return {};
        case Qt::DecorationRole:
            return column == FilesColumn ? QVariant(iconFor(*node)) : QVariant();
        case Qt::CheckStateRole:
            return column == MarkColumn ? QVariant(checkStateOf(*node)) : QVariant();
        case Qt::ToolTipRole:
            if (column == MarkColumn) return markToolTip(*node);
            if (column == FilesColumn && node->isReassembled())
                return QStringLiteral("Put back together from %1 pieces\nDouble click for preview")
                    .arg(node->pieces().size());
            return QStringLiteral("Double click for preview");
        case Qt::TextAlignmentRole:
            if (column == SizeColumn || column == FilesCountColumn)
                return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        default:
            return {};
    }
}

bool FoundTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    FoundNode* node = nodeAt(index);
    if (!node || role != Qt::CheckStateRole || index.column() != MarkColumn || ticksLocked_) return false;
    // A mixed box that is clicked counts as ticked: everything below gets ticked.
    setTicked(node, value.toInt() != Qt::Unchecked);
    return true;
}

QVariant FoundTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case FilesColumn: return QStringLiteral("Files");
        case SizeColumn: return QStringLiteral("Size");
        case FilesCountColumn: return QStringLiteral("Files Count");
        case MarkColumn: return QStringLiteral("Mark");
        default: return {};
    }
}

Qt::ItemFlags FoundTreeModel::flags(const QModelIndex& index) const {
    const FoundNode* node = nodeAt(index);
    if (!node) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // Lets the view skip asking each of a large folder's files for children.
    if (!node->isFolder() && childCount(*node) == 0) flags |= Qt::ItemNeverHasChildren;
    if (index.column() == MarkColumn && !ticksLocked_) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QString FoundTreeModel::filesCountText(const FoundNode& node) const {
    if (node.fileType() == FoundNode::kFoundFile) return {};
    if (node.fileCount() != 0) return QString::number(node.fileCount());
    if (&node == root_ && node.fileName() == "ROOT") return QStringLiteral("0");
    return {};
}

QString FoundTreeModel::markToolTip(const FoundNode& node) {
    if (node.fileType() == FoundNode::kFolder)
        return node.childrenSelected() < node.childrenCount() ? QStringLiteral("Select all") : QStringLiteral("Deselect all");
    if (node.fileType() == FoundNode::kFoundFile)
        return node.selected() == 1 ? QStringLiteral("Deselect") : QStringLiteral("Select");
    return QStringLiteral(" ");
}

QIcon FoundTreeModel::iconFor(const FoundNode& node) const {
    if (node.isFolder())
        return QIcon::fromTheme(QStringLiteral("folder"), QApplication::style()->standardIcon(QStyle::SP_DirIcon));
    const QString name = QString::fromStdString(node.fileName());
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    if (node.isReassembled()) {
        // Kept beside the plain icons, under a key no extension has.
        const QString key = QStringLiteral("/pieces/") + extension;
        auto marked = iconsByExtension_.constFind(key);
        if (marked != iconsByExtension_.constEnd()) return *marked;
        const QIcon icon = withLinkEmblem(iconForExtension(extension));
        iconsByExtension_.insert(key, icon);
        return icon;
    }
    return iconForExtension(extension);
}

QIcon FoundTreeModel::iconForExtension(const QString& extension) const {
    auto cached = iconsByExtension_.constFind(extension);
    if (cached != iconsByExtension_.constEnd()) return *cached;
    const QMimeType mime =
        QMimeDatabase().mimeTypeForFile(QStringLiteral("file.") + extension, QMimeDatabase::MatchExtension);
    const QIcon icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), styleIconForMime(mime)));
    iconsByExtension_.insert(extension, icon);
    return icon;
}

void FoundTreeModel::announceTickChange(const FoundNode& node) {
    for (const FoundNode* up = node.parent(); up && root_; up = up->parent()) {
        const QModelIndex mark = indexOf(up, MarkColumn);
        if (mark.isValid()) emit dataChanged(mark, mark, kTickRoles);
    }
    const QModelIndex mark = indexOf(&node, MarkColumn);
    if (!mark.isValid()) return;
    emit dataChanged(mark, mark, kTickRoles);
    announceSubtree(node);
}

void FoundTreeModel::announceSubtree(const FoundNode& node) {
    const int rows = childCount(node);
    if (rows == 0) return;
    const QModelIndex parent = indexOf(&node);
    emit dataChanged(index(0, MarkColumn, parent), index(rows - 1, MarkColumn, parent), kTickRoles);
    for (int row = 0; row < rows; ++row) announceSubtree(*node.childAtIndex(row));
}

}  // namespace pelorin::ui
