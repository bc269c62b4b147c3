// The results page: what it shows after a scan or an opened scan-info file,
// how ticking moves the counts, Save and select-all, row moves, and the page
// held still while a save runs.

#include <QAbstractButton>
#include <QLabel>
#include <QTreeView>
#include <QtTest>

#include "support/FoundTreeMaker.h"
#include "ui/ResultsPage.h"

using namespace pelorin;
using namespace pelorin::ui;

namespace {

// ROOT / "JPG Files" with two files of 1 KiB and 3 KiB, "MP3 Files" with one of 2 MiB.
struct ShownTree {
    testing::FoundTreeMaker maker;
    FoundNode* jpg = maker.folder("JPG Files", ".jpg");
    FoundNode* mp3 = maker.folder("MP3 Files", ".mp3");
    FoundNode* files[3] = {maker.file(jpg, 1024), maker.file(jpg, 3072), maker.file(mp3, 2 << 20)};
    SelectionTotals totals;
    ResultsPage page{totals};

    ShownTree() {
        page.resize(900, 600);
        page.show();
        page.showScanResults(maker.root(), 3);
    }
    // The value shown after a display's caption, e.g. "Selected files:".
    QString shown(const QString& caption) const {
        for (QLabel* label : page.findChildren<QLabel*>())
            if (label->text() == caption && label->buddy()) return static_cast<QLabel*>(label->buddy())->text();
        return "<no " + caption + ">";
    }
    void tick(const FoundNode* node, bool on) {
        FoundTreeModel& model = page.model();
        model.setData(model.indexOf(node, FoundTreeModel::MarkColumn), on ? Qt::Checked : Qt::Unchecked,
                      Qt::CheckStateRole);
    }
    void clickRow(const FoundNode* node) {
        QTreeView& view = page.treeView();
        const QRect row = view.visualRect(page.model().indexOf(node));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, row.center());
    }
    void select(const FoundNode* node) {
        page.treeView().selectionModel()->select(page.model().indexOf(node),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
};

}  // namespace

class ResultsPageTest : public QObject {
    Q_OBJECT
private slots:
    void scanResultsShowTotalsWithNothingTicked() {
        ShownTree tree;
        QCOMPARE(QStringList({tree.shown("Files found:"), tree.shown("Total size:"), tree.shown("Selected files:"),
                              tree.shown("Selected size:"), tree.shown("Saved:"), tree.shown("Scan info:")}),
                 QStringList({"3", "2.00 MB", "0", "0.00 KB", "0.00 KB", "Not Saved"}));
        QVERIFY(tree.page.treeView().isExpanded(tree.page.model().indexOf(tree.maker.root())));
        QVERIFY(!tree.page.saveButton().isEnabled() && !tree.page.stopSavingButton().isEnabled());
        for (QAbstractButton* button : {&tree.page.selectAllButton(), &tree.page.saveScanInfoButton(),
                                        &tree.page.viewButton(), &tree.page.nextRowButton()})
            QVERIFY2(button->isEnabled(), qPrintable(button->text()));
        QCOMPARE(tree.page.selectAllButton().toolTip(), QString("Select all files"));
    }

    void scanThatFoundNothingHoldsStill() {
        testing::FoundTreeMaker maker;  // a scan attaches no empty folders
        SelectionTotals totals;
        ResultsPage page(totals);
        page.show();
        page.showScanResults(maker.root(), 0);
        for (QAbstractButton* button : {&page.selectAllButton(), &page.saveScanInfoButton(), &page.viewButton(),
                                        &page.nextRowButton(), &page.previousRowButton(), &page.saveButton()})
            QVERIFY2(!button->isEnabled(), qPrintable(button->text()));
        QVERIFY(page.exitButton().isEnabled() && page.homeButton().isEnabled());
        QTreeView& view = page.treeView();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(page.model().indexOf(maker.root())).center());
        QCOMPARE(page.selectedNode(), nullptr);
    }

    void tickingMovesCountsSaveAndSelectAll() {
        ShownTree tree;
        QSignalSpy ticks(&tree.page, &ResultsPage::ticksChanged);
        tree.tick(tree.files[0], true);
        QCOMPARE(tree.shown("Selected size:"), QString("1.00 KB"));
        QVERIFY(tree.page.saveButton().isEnabled());
        tree.tick(tree.files[2], true);
        QVERIFY(!tree.page.selectAllButton().isChecked());
        // The last file ticked one by one turns select-all on.
        tree.tick(tree.files[1], true);
        QCOMPARE(std::tuple(tree.shown("Selected files:"), tree.shown("Selected size:"), tree.totals.tickedFiles),
                 std::tuple(QString("3"), QString("2.00 MB"), 3));
        QVERIFY(tree.page.selectAllButton().isChecked());
        QCOMPARE(tree.page.selectAllButton().toolTip(), QString("Deselect all files"));

        tree.tick(tree.jpg, false);
        QCOMPARE(tree.shown("Selected files:"), QString("1"));
        QVERIFY(!tree.page.selectAllButton().isChecked());
        QCOMPARE(tree.page.selectAllButton().toolTip(), QString("Select all files"));
        tree.tick(tree.files[2], false);
        QCOMPARE(tree.shown("Selected size:"), QString("0.00 KB"));
        QVERIFY(!tree.page.saveButton().isEnabled());
        QCOMPARE(ticks.count(), 5);
    }

    void selectAllTicksAndUnticksTheRoot() {
        ShownTree tree;
        tree.tick(tree.files[1], true);  // a mixed root: select-all ticks everything
        tree.page.selectAllButton().click();
        QCOMPARE(tree.maker.root()->tickState(), TickState::On);
        QCOMPARE(tree.totals.tickedBytes, uint64_t(4096 + (2 << 20)));
        QCOMPARE(tree.page.selectAllButton().toolTip(), QString("Deselect all files"));
        tree.page.selectAllButton().click();
        QCOMPARE(tree.maker.root()->tickState(), TickState::Off);
        QCOMPARE(tree.shown("Selected files:"), QString("0"));
        QVERIFY(!tree.page.saveButton().isEnabled());
    }

    void rowButtonsStopAtTheEnds() {
        ShownTree tree;
        tree.page.treeView().expand(tree.page.model().indexOf(tree.mp3));
        tree.select(tree.maker.root());
        tree.page.previousRowButton().click();
        QCOMPARE(tree.page.selectedNode(), tree.maker.root());
        tree.page.nextRowButton().click();
        QCOMPARE(tree.page.selectedNode(), tree.jpg);
        tree.select(tree.files[2]);
        tree.page.nextRowButton().click();
        QCOMPARE(tree.page.selectedNode(), tree.files[2]);
        tree.page.previousRowButton().click();
        QCOMPARE(tree.page.selectedNode(), tree.mp3);
    }

    void busyPageHoldsSelectionTicksAndButtons() {
        ShownTree tree;
        tree.tick(tree.files[0], true);
        tree.clickRow(tree.jpg);
        tree.page.setBusy(true);
        tree.clickRow(tree.mp3);
        QCOMPARE(tree.page.selectedNode(), tree.jpg);
        for (QAbstractButton* button : {&tree.page.saveButton(), &tree.page.selectAllButton(), &tree.page.viewButton(),
                                        &tree.page.homeButton(), &tree.page.exitButton(), &tree.page.nextRowButton()})
            QVERIFY2(!button->isEnabled(), qPrintable(button->text()));
        tree.tick(tree.files[1], true);
        QCOMPARE(tree.shown("Selected files:"), QString("1"));

        // A save starts: the row is let go, and the progress follows the saving thread.
        tree.page.beginSaveProgress();
        QCOMPARE(tree.page.selectedNode(), nullptr);
        QVERIFY(tree.page.stopSavingButton().isEnabled() && tree.page.stopSavingButton().isVisible());
        tree.page.applySaveProgress({.barMinimumValue = 0, .barMaximumValue = 1024});
        tree.page.applySaveProgress({.savedData = 1536 << 20, .barDoubleValue = 512, .filesSaved = 7});
        QCOMPARE(std::tuple(tree.shown("Saved:"), tree.shown("Files saved:")), std::tuple(QString("1.50 GB"), QString("7")));
        tree.page.endSaveProgress();
        tree.page.setBusy(false);
        QVERIFY(!tree.page.stopSavingButton().isVisible() && tree.page.saveButton().isEnabled());
        tree.clickRow(tree.mp3);
        QCOMPARE(tree.page.selectedNode(), tree.mp3);
    }

    void openedScanInfoShowsItsTicks() {
        ShownTree tree;
        tree.tick(tree.files[2], true);  // as the reader leaves the nodes and the totals
        tree.page.setBusy(true);
        tree.page.showOpenedScanInfo(tree.maker.root());
        QCOMPARE(QStringList({tree.shown("Selected files:"), tree.shown("Selected size:"), tree.shown("Scan info:")}),
                 QStringList({"1", "2.00 MB", "Scan Info Opened"}));
        QVERIFY(tree.page.saveButton().isEnabled() && !tree.page.selectAllButton().isChecked());
        QCOMPARE(tree.page.selectAllButton().toolTip(), QString("Select all files "));
        tree.clickRow(tree.jpg);
        QCOMPARE(tree.page.selectedNode(), tree.jpg);
    }
};

QTEST_MAIN(ResultsPageTest)
#include "ResultsPageTest.moc"
