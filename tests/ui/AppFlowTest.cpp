// The whole flow of the window on disk images assembled at test time: choose
// the source, untick types, scan, tick, save byte-exact, save and reopen
// scan information, and the questions asked on the way out.

#include <QAbstractButton>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSettings>
#include <QtTest>

#include "support/AppHarness.h"
#include "ui/DriveListPage.h"
#include "ui/FileTypesPage.h"
#include "ui/FoundTreeModel.h"
#include "ui/ResultsPage.h"
#include "ui/ScanningPage.h"

using namespace pelorin;
using namespace pelorin::ui;
using pelorin::ui::testing::AppHarness;

namespace {

const QString kLayout = QStringLiteral(
    "size 1048576\n"
    "fill zero\n"
    "place 64 jpeg/baseline.jpg\n"
    "place 400 png/image.png\n"
    "place 800 jpeg/exif.jpg\n");

// Every file below a folder, by its path relative to it.
QMap<QString, QByteArray> filesBelow(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        files.insert(QDir(folder).relativeFilePath(path), file.readAll());
    }
    return files;
}

QStringList alertTitles(const testing::ScriptedDialogs& dialogs) {
    QStringList titles;
    for (const Alert& alert : dialogs.alerts) titles << alert.title;
    return titles;
}

void tick(AppHarness& harness, FoundNode* node, bool on) {
    FoundTreeModel* model = &harness.app().resultsPage()->model();
    const QModelIndex mark = model->indexOf(node).siblingAtColumn(3);
    QVERIFY(model->setData(mark, on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
}

}  // namespace

class AppFlowTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        // Remembered folders and sizes must not leak between tests or from the user.
        QSettings().clear();
    }

    void scansOnlyTheTickedTypesAndSavesTickedFilesByteExact() {
        AppHarness harness;
        const QString image = harness.buildImage("card.img", kLayout);
        harness.scanImage(image, {"PNG"});
        // Each is found one sector longer than the fixture, as the scan sizes these types.
        QCOMPARE(harness.treeLines(), (QStringList{"JPG Files/file1.jpg 970", "JPG Files/file2.jpg 3939"}));
        QVERIFY(!harness.app().scanInfoSaved());

        // One file ticked: its folder and the root are mixed, the totals count it.
        FoundNode* jpgs = harness.folderNamed("JPG Files");
        QVERIFY(jpgs);
        tick(harness, jpgs->childAtIndex(1), true);
        QCOMPARE(harness.app().totals().tickedFiles, 1);
        QCOMPARE(harness.app().totals().tickedBytes, uint64_t{3939});
        QCOMPARE(jpgs->tickState(), TickState::Mixed);

        const QString destination = harness.folder.filePath("out");
        QDir().mkpath(destination);
        harness.dialogs.answer("Yes");
        harness.dialogs.choose(destination);
        QSignalSpy saved(&harness.app(), &AppController::saveFinished);
        harness.app().saveData();
        QVERIFY(saved.wait(30000));
        QCOMPARE(alertTitles(harness.dialogs), (QStringList{"Information", "Saving Completed"}));

        const QStringList recoveryFolders = QDir(destination).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(recoveryFolders.size(), 1);
        const auto files = filesBelow(destination + "/" + recoveryFolders.first());
        QCOMPARE(files.keys(), QStringList{"ROOT/JPG Files/file2.jpg"});
        QCOMPARE(files.first().size(), 3939);
        QVERIFY(files.first().startsWith(AppHarness::fixture("jpeg/exif.jpg")));
        // The recovery folder is shown to the user.
        QCOMPARE(harness.dialogs.openedUrls.size(), 1);
        QVERIFY(!harness.app().saving());
    }

    void savingIsRefusedWhenTheUserSaysNoOrCancelsTheFolder() {
        AppHarness harness;
        harness.scanImage(harness.buildImage("card.img", kLayout));
        tick(harness, harness.app().root(), true);
        harness.dialogs.answer("No");
        harness.app().saveData();
        harness.dialogs.answer("Yes");
        harness.dialogs.choose({});  // the folder chooser cancelled
        harness.app().saveData();
        QCOMPARE(alertTitles(harness.dialogs), (QStringList{"Information", "Information"}));
        QVERIFY(!harness.app().saving());
        QVERIFY(harness.app().resultsPage()->isEnabled());
    }

    void scanInfoIsSavedAndReopenedWithItsTicks() {
        AppHarness harness;
        const QString image = harness.buildImage("card.img", kLayout);
        harness.scanImage(image);
        const QStringList scanned = harness.treeLines();
        tick(harness, harness.folderNamed("PNG Files"), true);

        const QString chosen = harness.folder.filePath("card scan");
        harness.dialogs.choose(chosen);
        QSignalSpy written(&harness.app(), &AppController::scanInfoWritten);
        harness.app().saveScan();
        QVERIFY(written.wait(30000));
        QCOMPARE(written.first().first().toBool(), true);
        QVERIFY(QFile::exists(chosen + ".rvx"));
        QVERIFY(harness.app().scanInfoSaved());
        QCOMPARE(harness.dialogs.alerts.last().title, QString("Saving Scan information completed"));

        // Saved: Home asks nothing.
        const int asked = int(harness.dialogs.alerts.size());
        harness.app().home();
        QCOMPARE(harness.app().currentPage(), Page::DriveList);
        QCOMPARE(int(harness.dialogs.alerts.size()), asked);
        QVERIFY(!harness.app().root());

        QSignalSpy read(&harness.app(), &AppController::scanInfoRead);
        harness.app().openScanInfoFile(chosen + ".rvx");
        QVERIFY(read.wait(30000));
        QCOMPARE(harness.app().currentPage(), Page::Results);
        QCOMPARE(harness.treeLines(), scanned);
        QCOMPARE(harness.app().totals().tickedFiles, 1);
        QCOMPARE(harness.folderNamed("PNG Files")->tickState(), TickState::On);

        // A disk image is never attached: saving asks where it is, then reads it.
        const QString destination = harness.folder.filePath("out");
        QDir().mkpath(destination);
        harness.dialogs.answer("Yes");
        harness.dialogs.choose(image);
        harness.dialogs.choose(destination);
        QSignalSpy saved(&harness.app(), &AppController::saveFinished);
        harness.app().saveData();
        QVERIFY(saved.wait(30000));
        const QString recovery = QDir(destination).entryList(QDir::Dirs | QDir::NoDotAndDotDot).first();
        const auto files = filesBelow(destination + "/" + recovery);
        QCOMPARE(files.keys(), QStringList{"ROOT/PNG Files/file1.png"});
        QCOMPARE(files.first().size(), 3434);
        QVERIFY(files.first().startsWith(AppHarness::fixture("png/image.png")));
    }

    void refusedScanInfoFilesLeaveTheDriveListUsable() {
        AppHarness harness;
        const QString wrong = harness.folder.filePath("notes.txt");
        QFile(wrong).open(QIODevice::WriteOnly);
        QFile hostile(harness.folder.filePath("hostile.rvx"));
        hostile.open(QIODevice::WriteOnly);
        hostile.write(QByteArray("Complete") + QByteArray(48, '\xff'));
        hostile.close();

        for (const QString& path : {wrong, hostile.fileName()}) {
            QSignalSpy read(&harness.app(), &AppController::scanInfoRead);
            harness.app().openScanInfoFile(path);
            QVERIFY(read.wait(30000));
            QCOMPARE(read.first().first().toBool(), false);
            QCOMPARE(harness.app().currentPage(), Page::DriveList);
        }
        QCOMPARE(alertTitles(harness.dialogs), (QStringList{"Error", "! Error"}));
        QVERIFY(harness.app().driveListPage()->isEnabled());
    }

    void homeAndExitAskToSaveUnsavedResults() {
        AppHarness harness;
        harness.scanImage(harness.buildImage("card.img", kLayout));

        harness.dialogs.answer("Cancel");
        harness.app().home();
        QCOMPARE(harness.app().currentPage(), Page::Results);
        harness.dialogs.answer("Cancel");
        harness.app().exitFromResults();
        harness.dialogs.answer("Cancel");
        harness.app().windowShouldClose();
        QCOMPARE(harness.quitCount, 0);
        QCOMPARE(alertTitles(harness.dialogs),
                 (QStringList{"Do you want to save scan information?",
                              "Do you want to save scan info before closing the application?",
                              "Do you want to save scan info before closing the application?"}));
        QCOMPARE(harness.dialogs.alerts.first().buttons, (QStringList{"Yes", "Cancel", "No"}));

        harness.dialogs.answer("No");
        harness.app().home();
        QCOMPARE(harness.app().currentPage(), Page::DriveList);

        // On the drive list only the plain question.
        harness.dialogs.answer("No");
        harness.app().exit();
        QCOMPARE(harness.quitCount, 0);
        harness.dialogs.answer("Yes");
        harness.app().exit();
        QCOMPARE(harness.quitCount, 1);
        QCOMPARE(harness.dialogs.alerts.last().title, QString("Do you want to close the application?"));
    }

    void yesToSavingBeforeQuittingQuitsOnceWritten() {
        AppHarness harness;
        harness.scanImage(harness.buildImage("card.img", kLayout));
        harness.dialogs.answer("Yes");
        harness.dialogs.choose(harness.folder.filePath("before quitting"));
        QSignalSpy written(&harness.app(), &AppController::scanInfoWritten);
        harness.app().exitFromResults();
        QVERIFY(written.wait(30000));
        QCOMPARE(harness.quitCount, 1);
    }

    void aScanThatFindsNothingNeedsNoSaving() {
        AppHarness harness;
        harness.scanImage(harness.buildImage("zeros.img", "size 262144\nfill zero\n"));
        QVERIFY(harness.treeLines().isEmpty());
        QVERIFY(harness.app().scanInfoSaved());
        harness.dialogs.answer("Yes");
        harness.app().exitFromResults();
        QCOMPARE(alertTitles(harness.dialogs), QStringList{"Do you want to close the application?"});
        QCOMPARE(harness.quitCount, 1);
    }

    void pauseHoldsTheScanAndStopAsksFirst() {
        AppHarness harness;
        // Large enough that the scan is still running when it is paused.
        const QString image = harness.folder.filePath("big.img");
        QFile sparse(image);
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64{1} << 30));
        sparse.close();
        QVERIFY(harness.app().chooseDiskImage(image));
        harness.app().scan();
        QCOMPARE(harness.app().currentPage(), Page::Scanning);
        harness.app().pause(true);
        QTest::qWait(100);
        QVERIFY(harness.app().scanRunning());

        // "No" goes on, even though the scan was paused before.
        harness.dialogs.answer("No");
        harness.app().stopScanning();
        QVERIFY(harness.app().scanRunning());
        QSignalSpy finished(&harness.app(), &AppController::scanFinished);
        harness.dialogs.answer("Yes");
        harness.app().stopScanning();
        QVERIFY(finished.wait(60000));
        QCOMPARE(alertTitles(harness.dialogs), (QStringList{"Do you want to stop the scanning process?",
                                                            "Do you want to stop the scanning process?"}));
        QCOMPARE(harness.app().currentPage(), Page::Results);
    }

    void anUnreadableDiskImageIsRefusedWithTheDriveAlert() {
        AppHarness harness;
        QVERIFY(!harness.app().chooseDiskImage(harness.folder.filePath("missing.img")));
        QCOMPARE(harness.app().currentPage(), Page::DriveList);
        QCOMPARE(alertTitles(harness.dialogs), QStringList{"Drive cannot open or not found"});
        QVERIFY(harness.dialogs.alerts.first().message.contains("missing.img"));
    }

    void aDestinationThatCannotTakeTheFilesSaysSoAndStaysUsable() {
        AppHarness harness;
        harness.scanImage(harness.buildImage("card.img", kLayout));
        tick(harness, harness.app().root(), true);
        // A file where a folder should be: no recovery folder can be made in it.
        const QString notAFolder = harness.folder.filePath("not-a-folder");
        QFile(notAFolder).open(QIODevice::WriteOnly);
        harness.dialogs.answer("Yes");
        harness.dialogs.choose(notAFolder);
        QSignalSpy saved(&harness.app(), &AppController::saveFinished);
        harness.app().saveData();
        QVERIFY(saved.wait(30000));
        QCOMPARE(harness.dialogs.alerts.last().title, QString("Saving Completed"));
        QVERIFY(harness.dialogs.alerts.last().message.contains("3 files could not be saved"));
        QVERIFY(harness.dialogs.openedUrls.isEmpty());
        QVERIFY(!harness.app().saving());
        QVERIFY(harness.app().resultsPage()->saveButton().isEnabled());
    }

    void helpOpensTheManualAndAboutNamesVersionAndLicence() {
        AppHarness harness;
        harness.app().help();
        QCOMPARE(harness.dialogs.openedUrls.size(), 1);
        QVERIFY(harness.dialogs.openedUrls.first().isLocalFile());
        QVERIFY(QFile::exists(harness.dialogs.openedUrls.first().toLocalFile()));
        QVERIFY(harness.dialogs.openedUrls.first().path().endsWith("manual/index.html"));
        harness.app().displayAboutPanel();
        QVERIFY(harness.dialogs.alerts.last().message.contains(QStringLiteral(PELORIN_VERSION)));
        QVERIFY(harness.dialogs.alerts.last().message.contains("GNU General Public License"));
    }
};

QTEST_MAIN(AppFlowTest)
#include "AppFlowTest.moc"
