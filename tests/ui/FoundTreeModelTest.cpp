// The found-file tree model: column values, tick changes reaching the nodes,
// the totals and the view, all under Qt's model tester.

#include <QAbstractItemModelTester>
#include <QtTest>

#include "support/FoundTreeMaker.h"
#include "ui/FoundTreeModel.h"

using namespace pelorin;
using namespace pelorin::ui;

namespace {

// ROOT / "JPG Files" with three files, "PNG Files" with two.
struct SmallTree {
    testing::FoundTreeMaker maker;
    FoundNode* jpg = maker.folder("JPG Files", ".jpg");
    FoundNode* png = maker.folder("PNG Files", ".png");
    FoundNode* jpg1 = maker.file(jpg, 1000);
    FoundNode* jpg2 = maker.file(jpg, 2000);
    FoundNode* jpg3 = maker.file(jpg, 4000);
    FoundNode* png1 = maker.file(png, 10000);
    FoundNode* png2 = maker.file(png, 20000);
    SelectionTotals totals;
    FoundTreeModel model{totals};
    // Checks the model's answers after every change the test makes.
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    SmallTree() { model.setRoot(maker.root()); }

    QVariant mark(const FoundNode* node, int role = Qt::CheckStateRole) {
        return model.data(model.indexOf(node, FoundTreeModel::MarkColumn), role);
    }
    bool click(const FoundNode* node, Qt::CheckState sent) {
        return model.setData(model.indexOf(node, FoundTreeModel::MarkColumn), sent, Qt::CheckStateRole);
    }
};

}  // namespace

class FoundTreeModelTest : public QObject {
    Q_OBJECT
private slots:
    void columnsShowNamesSizesAndCounts() {
        SmallTree tree;
        auto text = [&](const FoundNode* node, int column) {
            return tree.model.data(tree.model.indexOf(node, column)).toString();
        };
        QCOMPARE(text(tree.maker.root(), FoundTreeModel::FilesColumn), QString("ROOT"));
        QCOMPARE(text(tree.jpg2, FoundTreeModel::FilesColumn), QString("file2.jpg"));
        QCOMPARE(text(tree.png2, FoundTreeModel::SizeColumn), QString("19.53 KB"));
        QCOMPARE(text(tree.maker.root(), FoundTreeModel::SizeColumn), QString("36.13 KB"));
        QCOMPARE(text(tree.maker.root(), FoundTreeModel::FilesCountColumn), QString("5"));
        QCOMPARE(text(tree.jpg, FoundTreeModel::FilesCountColumn), QString("3"));
        QCOMPARE(text(tree.jpg1, FoundTreeModel::FilesCountColumn), QString());
        QVERIFY(!tree.model.data(tree.model.indexOf(tree.jpg1), Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(!tree.model.data(tree.model.indexOf(tree.jpg), Qt::DecorationRole).value<QIcon>().isNull());
        QCOMPARE(tree.model.indexOf(tree.png1).parent(), tree.model.indexOf(tree.png));
        tree.model.setRoot(nullptr);
        QCOMPARE(tree.model.rowCount(), 0);

        // A scan that found nothing: the root counts "0", an empty folder nothing.
        testing::FoundTreeMaker empty;
        FoundNode* none = empty.folder("GIF Files", ".gif");
        SelectionTotals totals;
        FoundTreeModel model(totals);
        model.setRoot(empty.root());
        QCOMPARE(model.data(model.indexOf(empty.root(), FoundTreeModel::FilesCountColumn)).toString(), QString("0"));
        QCOMPARE(model.data(model.indexOf(none, FoundTreeModel::FilesCountColumn)).toString(), QString());
        QCOMPARE(model.rowCount(model.indexOf(none)), 0);
    }

    // A file put back together says so in the Files column's tooltip and its icon differs from
    // its type's; its check box and its tooltip are those of any file.
    void aFileInPiecesIsMarkedInTheFilesColumn() {
        SmallTree tree;
        tree.jpg2->setPieces({{1 * 512, 1000}, {40 * 512, 500}, {9 * 512, 500}});
        auto data = [&](const FoundNode* node, int column, int role) {
            return tree.model.data(tree.model.indexOf(node, column), role);
        };
        QCOMPARE(data(tree.jpg2, FoundTreeModel::FilesColumn, Qt::ToolTipRole).toString(),
                 QString("Put back together from 3 pieces\nDouble click for preview"));
        QCOMPARE(data(tree.jpg1, FoundTreeModel::FilesColumn, Qt::ToolTipRole).toString(),
                 QString("Double click for preview"));
        QCOMPARE(tree.mark(tree.jpg2, Qt::ToolTipRole).toString(), QString("Select"));
        QCOMPARE(tree.mark(tree.jpg2), tree.mark(tree.jpg1));
        auto picture = [&](const FoundNode* node) {
            return data(node, FoundTreeModel::FilesColumn, Qt::DecorationRole).value<QIcon>().pixmap(32, 32).toImage();
        };
        const QImage marked = picture(tree.jpg2), plain = picture(tree.jpg1);
        QVERIFY(!marked.isNull());
        QCOMPARE(marked.size(), plain.size());
        QVERIFY(marked != plain);
        QCOMPARE(picture(tree.jpg3), plain);
    }

    void ticksReachNodesTotalsAndTooltips() {
        SmallTree tree;
        QCOMPARE(tree.mark(tree.jpg1, Qt::ToolTipRole).toString(), QString("Select"));
        QCOMPARE(tree.model.data(tree.model.indexOf(tree.jpg1, FoundTreeModel::SizeColumn), Qt::ToolTipRole).toString(),
                 QString("Double click for preview"));
        QVERIFY(tree.click(tree.jpg2, Qt::Checked));
        QCOMPARE(std::tuple(tree.mark(tree.jpg2).toInt(), tree.mark(tree.jpg).toInt(), tree.mark(tree.maker.root()).toInt(),
                            tree.mark(tree.png).toInt()),
                 std::tuple(int(Qt::Checked), int(Qt::PartiallyChecked), int(Qt::PartiallyChecked), int(Qt::Unchecked)));
        QCOMPARE(tree.totals.tickedBytes, uint64_t(2000));
        QCOMPARE(tree.mark(tree.jpg2, Qt::ToolTipRole).toString(), QString("Deselect"));
        QCOMPARE(tree.mark(tree.jpg, Qt::ToolTipRole).toString(), QString("Select all"));

        // A mixed box that is clicked ticks everything below it, each file counted once.
        QVERIFY(tree.click(tree.jpg, Qt::PartiallyChecked));
        QCOMPARE(tree.mark(tree.jpg).toInt(), int(Qt::Checked));
        QCOMPARE(tree.totals.tickedBytes, uint64_t(7000));
        QCOMPARE(tree.mark(tree.jpg, Qt::ToolTipRole).toString(), QString("Deselect all"));

        // Locked while a save reads the tree: nothing changes.
        tree.model.setTicksLocked(true);
        QVERIFY(!(tree.model.flags(tree.model.indexOf(tree.png1, FoundTreeModel::MarkColumn)) & Qt::ItemIsUserCheckable));
        QVERIFY(!tree.click(tree.png1, Qt::Checked));
        QCOMPARE(tree.mark(tree.png1).toInt(), int(Qt::Unchecked));
    }

    // The view learns of every check box a tick changed, with one signal per
    // folder rather than per row and without a reset that would collapse it.
    void tickChangesAnnouncedPerFolder() {
        testing::FoundTreeMaker maker;
        FoundNode* jpg = maker.folder("JPG Files", ".jpg");
        FoundNode* mp3 = maker.folder("MP3 Files", ".mp3");
        for (int i = 0; i < 200; ++i) maker.file(i % 2 ? jpg : mp3, 512);
        SelectionTotals totals;
        FoundTreeModel model(totals);
        model.setRoot(maker.root());
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy ticks(&model, &FoundTreeModel::ticksChanged);

        model.setTicked(maker.root(), true);
        QCOMPARE(ticks.count(), 1);
        QCOMPARE(reset.count(), 0);
        QVERIFY2(changed.count() <= 4, qPrintable(QString::number(changed.count())));
        QSet<const FoundNode*> covered;
        for (const QList<QVariant>& signal : changed) {
            const auto from = signal[0].toModelIndex(), to = signal[1].toModelIndex();
            QCOMPARE(from.parent(), to.parent());
            QVERIFY(from.column() <= FoundTreeModel::MarkColumn && to.column() >= FoundTreeModel::MarkColumn);
            for (int row = from.row(); row <= to.row(); ++row) covered.insert(model.nodeAt(model.index(row, 0, from.parent())));
        }
        QCOMPARE(covered.size(), 1 + 2 + 200);

        // Unticking one file changes it and its ancestors only.
        changed.clear();
        model.setTicked(jpg->childAtIndex(7), false);
        QCOMPARE(changed.count(), 3);
        QCOMPARE(model.data(model.indexOf(mp3, FoundTreeModel::MarkColumn), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    }
};

QTEST_MAIN(FoundTreeModelTest)
#include "FoundTreeModelTest.moc"
