// A drive the user cannot open: the window asks the system for it without
// freezing, scans and saves through what it hands over, and says why when it
// does not.

#include <fcntl.h>

#include <QDirIterator>
#include <QtTest>
#include <atomic>
#include <semaphore>

#include "support/AppHarness.h"
#include "support/RecordedDevices.h"
#include "ui/DriveListPage.h"
#include "ui/FileTypesPage.h"
#include "ui/FoundTreeModel.h"
#include "ui/ResultsPage.h"

namespace pelorin::ui::testing {
namespace {

using Outcome = DeviceAccessResult::Outcome;

// The system's disk service: answers once the test lets it (or on cancel()),
// with a descriptor of the image or a refusal. These tests run as root, where
// no permission is refused: the recorded drive's node does not exist, and the
// stand-in answers for any failure to open it.
struct StandInAccess final : DeviceAccess {
    StandInAccess(QString image, Outcome answer) : image(std::move(image)), answer(answer) {}
    bool mayHelpWith(int) const override { return true; }
    DeviceAccessResult openForReading(const std::string& deviceNode) override {
        if (deviceNode == "/dev/pelorin-test-card") ++requests;
        released.acquire();
        released.release();  // every later request is answered at once
        DeviceAccessResult result;
        result.outcome = cancelled ? Outcome::Dismissed : answer;
        if (result.outcome == Outcome::Opened) result.fd = UniqueFd(::open(qPrintable(image), O_RDONLY | O_CLOEXEC));
        return result;
    }
    void cancel() override {
        cancelled = true;
        released.release();
    }

    QString image;
    Outcome answer;
    std::counting_semaphore<64> released{0};
    std::atomic<bool> cancelled{false};
    std::atomic<int> requests{0};
};

// The application over one recorded card reader, as large as the image.
struct CardReaderApp {
    CardReaderApp(const QString& image, Outcome answer) {
        auto standIn = std::make_unique<StandInAccess>(image, answer);
        access = standIn.get();
        auto devices = test::recordedAs({{"USB card reader", "pelorin-test-card"}});
        devices.resize(1);
        devices.front().device.attributes["size"] = "2048";
        AppParts parts;
        parts.dialogs = &dialogs;
        parts.devices = std::make_unique<RecordedDeviceDatabase>(std::move(devices));
        parts.keepAwake = std::make_unique<NoKeepAwake>();
        parts.quit = [] {};
        parts.deviceAccess = std::move(standIn);
        app = std::make_unique<AppController>(std::move(parts));
        app->driveListPage()->driveList().selectRow(0);
        app->next();
        app->scan();  // the system is being asked now
    }
    // Saves every found file into a new folder and waits for the end.
    void saveAllInto(const QString& folder) {
        FoundTreeModel& model = app->resultsPage()->model();
        QVERIFY(model.setData(model.indexOf(app->root()).siblingAtColumn(3), Qt::Checked, Qt::CheckStateRole));
        dialogs.answer("Yes");
        dialogs.choose(folder);
        QSignalSpy saved(app.get(), &AppController::saveFinished);
        app->saveData();
        QVERIFY(saved.wait(30000));
        QCOMPARE(dialogs.alerts.last().title, QString("Saving Completed"));
    }

    ScriptedDialogs dialogs;
    StandInAccess* access = nullptr;
    std::unique_ptr<AppController> app;
};

}  // namespace

class DeviceAccessFlowTest : public QObject {
    Q_OBJECT
private slots:
    void theHandedDriveScansAndSavesLikeTheImageAndTheWindowStaysLiveMeanwhile() {
        AppHarness reference;
        const QString image = reference.buildImage(
            "card.img", "size 1048576\nfill zero\nplace 64 jpeg/baseline.jpg\nplace 400 png/image.png\n");
        reference.scanImage(image);

        CardReaderApp card(image, Outcome::Opened);
        QTRY_COMPARE(card.access->requests.load(), 1);
        QTest::qWait(50);  // the main loop turns while the system waits for the password
        QVERIFY(card.app->askingForAccess());
        QVERIFY(!card.app->fileTypesPage()->isEnabled());
        QSignalSpy finished(card.app.get(), &AppController::scanFinished);
        card.access->released.release();
        QVERIFY(finished.wait(60000));
        QVERIFY(card.dialogs.alerts.isEmpty());
        QStringList lines;
        for (const auto& folder : card.app->root()->children())
            for (const auto& file : folder->children())
                lines << QString::fromStdString(folder->fileName() + "/" + file->fileName() + " " +
                                                std::to_string(file->fileSize()));
        QCOMPARE(lines, reference.treeLines());

        // Saving reads through the same descriptor: the drive's node is nowhere.
        QTemporaryDir saved;
        card.saveAllInto(saved.path());
        QFile imageFile(image);
        QVERIFY(imageFile.open(QIODevice::ReadOnly));
        const QByteArray imageBytes = imageFile.readAll();
        QStringList savedFiles;
        for (QDirIterator it(saved.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY(!bytes.isEmpty() && imageBytes.contains(bytes));
            savedFiles << file.fileName();
        }
        QCOMPARE(savedFiles.size(), 2);
        QCOMPARE(card.access->requests.load(), 1);

        // A scan-info file of the drive, opened again: saving asks for the drive again.
        card.dialogs.choose(saved.filePath("card"));
        QSignalSpy written(card.app.get(), &AppController::scanInfoWritten);
        card.app->saveScan();
        QVERIFY(written.wait(30000));
        card.app->home();
        QSignalSpy read(card.app.get(), &AppController::scanInfoRead);
        card.app->openScanInfoFile(saved.filePath("card.rvx"));
        QVERIFY(read.wait(30000));
        QTemporaryDir again;
        card.saveAllInto(again.path());
        QCOMPARE(card.access->requests.load(), 2);
        QVERIFY(!card.dialogs.alerts.last().message.contains("could not be saved"));
    }

    void everyRefusalSaysWhyUnderTheDriveAlertAndScansNothing_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("said");
        QTest::newRow("no disk service") << int(Outcome::NoService) << "'disk' group";
        QTest::newRow("no system bus") << int(Outcome::NoSystemBus) << "run Pelorin as root";
        QTest::newRow("refused") << int(Outcome::NotAuthorised) << "did not allow";
        QTest::newRow("dismissed") << int(Outcome::Dismissed) << "password prompt was closed";
        QTest::newRow("gone") << int(Outcome::DeviceNotFound) << "not there any more";
    }
    void everyRefusalSaysWhyUnderTheDriveAlertAndScansNothing() {
        QFETCH(int, answer);
        QFETCH(QString, said);
        CardReaderApp card({}, Outcome(answer));
        card.access->released.release();
        QTRY_VERIFY(!card.app->askingForAccess());
        QCOMPARE(card.dialogs.alerts.size(), 1);
        const Alert& alert = card.dialogs.alerts.first();
        QCOMPARE(alert.title, QString("Drive cannot open or not found"));
        QVERIFY2(alert.informativeText.contains(said, Qt::CaseInsensitive), qPrintable(alert.informativeText));
        QVERIFY(alert.informativeText.contains("/dev/pelorin-test-card"));
        // Still usable: back on the drive list, nothing scanned.
        QCOMPARE(card.app->currentPage(), Page::DriveList);
        QVERIFY(card.app->fileTypesPage()->isEnabled());
        QVERIFY(!card.app->root() && !card.app->scanRunning());
    }

    void closingTheWindowWhileAskingEndsTheWait() {
        CardReaderApp card({}, Outcome::Opened);
        QTRY_COMPARE(card.access->requests.load(), 1);
        // The stand-in answers only when released or cancelled: a hang here is the fault.
        card.app.reset();
    }
};

}  // namespace pelorin::ui::testing

QTEST_MAIN(pelorin::ui::testing::DeviceAccessFlowTest)
#include "DeviceAccessFlowTest.moc"
