#pragma once
// The found-file tree as the results page shows it: the root as the single
// top row, its type folders and their found files below, with a name, size,
// file count and check box per node; a file put back together from pieces is
// marked by its icon and its tooltip. The model reads the engine's nodes in
// place; a tick goes through CheckController, so the tallies in the nodes and
// the application's totals stay the only record of what is ticked.

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>

#include "engine/FoundNode.h"
#include "engine/SelectionTotals.h"

namespace pelorin::ui {

class FoundTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { FilesColumn, SizeColumn, FilesCountColumn, MarkColumn, ColumnCount };

    explicit FoundTreeModel(SelectionTotals& totals, QObject* parent = nullptr);

    // The tree to show, not owned; nullptr shows nothing. The caller keeps it
    // alive until the next call.
    void setRoot(FoundNode* root);
    FoundNode* root() const { return root_; }
    SelectionTotals& totals() const { return totals_; }

    FoundNode* nodeAt(const QModelIndex& index) const;
    QModelIndex indexOf(const FoundNode* node, int column = FilesColumn) const;
    // Ticks or unticks a node and all below it, as a click on its check box does.
    void setTicked(FoundNode* node, bool ticked);
    // While locked (a save reads the tree) no check box can be changed.
    void setTicksLocked(bool locked);
    bool ticksLocked() const { return ticksLocked_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // After every tick change, once the nodes and the totals hold the new state.
    void ticksChanged();

private:
    int childCount(const FoundNode& node) const;
    QString filesCountText(const FoundNode& node) const;
    static QString markToolTip(const FoundNode& node);
    QIcon iconFor(const FoundNode& node) const;
    QIcon iconForExtension(const QString& extension) const;
    // The check boxes that a tick of node may have changed: its ancestors,
    // itself and everything below it.
    void announceTickChange(const FoundNode& node);
    void announceSubtree(const FoundNode& node);

    SelectionTotals& totals_;
    FoundNode* root_ = nullptr;
    bool ticksLocked_ = false;
    mutable QHash<QString, QIcon> iconsByExtension_;
};

}  // namespace pelorin::ui
