// A drive the user cannot open: the window asks the system for it without
// freezing, scans what it hands over like the image itself, and says why when
// it does not.

#include <fcntl.h>

#include <QDirIterator>
#include <QElapsedTimer>
#include <QtTest>
#include <condition_variable>
#include <mutex>

#include "support/AppHarness.h"
#include "support/RecordedDevices.h"
#include "ui/DriveListPage.h"
#include "ui/FileTypesPage.h"
#include "ui/FoundTreeModel.h"
#include "ui/ResultsPage.h"

namespace pelorin::ui::testing {
namespace {

const QString kLayout = QStringLiteral(
    "size 1048576\n"
    "fill zero\n"
    "place 64 jpeg/baseline.jpg\n"
    "place 400 png/image.png\n"
    "place 800 jpeg/exif.jpg\n");

// The system's disk service, answering with a descriptor of an image or a
// refusal, when the test lets it. These tests run as root, where no permission
// is ever refused: the recorded drive's node does not exist, and the stand-in
// answers for any failure to open it.
class StandInAccess final : public DeviceAccess {
public:
    StandInAccess(QString image, DeviceAccessResult::Outcome answer) : image_(std::move(image)), answer_(answer) {}

    bool mayHelpWith(int) const override { return true; }

    DeviceAccessResult openForReading(const std::string& deviceNode) override {
        std::unique_lock lock(mutex_);
        askedFor_ = deviceNode;
        ++requests_;
        released_.wait(lock, [this] { return release_ || cancelled_; });
        DeviceAccessResult result;
        result.outcome = cancelled_ ? DeviceAccessResult::Outcome::Dismissed : answer_;
        if (result.outcome == DeviceAccessResult::Outcome::Opened)
            result.fd = UniqueFd(::open(image_.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC));
        return result;
    }
    void cancel() override {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        released_.notify_all();
    }
    // Lets the pending (and every later) request be answered.
    void answer() {
        std::lock_guard lock(mutex_);
        release_ = true;
        released_.notify_all();
    }
    std::string askedFor() {
        std::lock_guard lock(mutex_);
        return askedFor_;
    }
    int requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    QString image_;
    DeviceAccessResult::Outcome answer_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool release_ = false, cancelled_ = false;
    int requests_ = 0;
    std::string askedFor_;
};

// The application over one recorded card reader whose node cannot be opened.
struct CardReaderApp {
    CardReaderApp(const QString& image, DeviceAccessResult::Outcome answer) {
        auto stand = std::make_unique<StandInAccess>(image, answer);
        access = stand.get();
        AppParts parts;
        parts.dialogs = &dialogs;
        // The recorded card reader, as large as the image it stands for.
        auto devices = test::recordedAs({{"USB card reader", "pelorin-test-card"}});
        devices.resize(1);
        devices.front().device.attributes["size"] = "2048";
        parts.devices = std::make_unique<RecordedDeviceDatabase>(std::move(devices));
        parts.keepAwake = std::make_unique<NoKeepAwake>();
        parts.quit = [] {};
        parts.deviceAccess = std::move(stand);
        app = std::make_unique<AppController>(std::move(parts));
    }
    // Chooses the card reader and clicks Scan; the system is being asked then.
    void scanTheCard() {
        DriveList& list = app->driveListPage()->driveList();
        QCOMPARE(list.numberOfRows(), std::size_t{1});
        list.selectRow(0);
        app->next();
        QCOMPARE(app->currentPage(), Page::FileTypes);
        app->scan();
    }

    ScriptedDialogs dialogs;
    StandInAccess* access = nullptr;
    std::unique_ptr<AppController> app;
};

}  // namespace

class DeviceAccessFlowTest : public QObject {
    Q_OBJECT
private slots:
    void theHandedDriveScansLikeTheImageAndTheWindowStaysLiveMeanwhile() {
        AppHarness reference;
        const QString image = reference.buildImage("card.img", kLayout);
        reference.scanImage(image);

        CardReaderApp card(image, DeviceAccessResult::Outcome::Opened);
        card.scanTheCard();
        QVERIFY(card.app->askingForAccess());
        // The main loop turns while the system waits for the password.
        QTest::qWait(50);
        QTRY_COMPARE(card.access->askedFor(), std::string("/dev/pelorin-test-card"));
        QCOMPARE(card.app->currentPage(), Page::FileTypes);
        QVERIFY(!card.app->fileTypesPage()->isEnabled());
        QVERIFY(card.dialogs.alerts.isEmpty());

        QSignalSpy finished(card.app.get(), &AppController::scanFinished);
        card.access->answer();
        QVERIFY(finished.wait(60000));
        QCOMPARE(card.app->currentPage(), Page::Results);
        QVERIFY(card.dialogs.alerts.isEmpty());
        QStringList lines;
        for (const auto& folder : card.app->root()->children())
            for (const auto& file : folder->children())
                lines << QString::fromStdString(folder->fileName() + "/" + file->fileName() + " " +
                                                std::to_string(file->fileSize()));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines, reference.treeLines());

        // Saving reads through the same descriptor: the drive's node is nowhere.
        FoundTreeModel& model = card.app->resultsPage()->model();
        QVERIFY(model.setData(model.indexOf(card.app->root()).siblingAtColumn(3), Qt::Checked, Qt::CheckStateRole));
        QTemporaryDir destination;
        card.dialogs.answer("Yes");
        card.dialogs.choose(destination.path());
        QSignalSpy saved(card.app.get(), &AppController::saveFinished);
        card.app->saveData();
        QVERIFY(saved.wait(30000));
        QCOMPARE(card.dialogs.alerts.last().title, QString("Saving Completed"));
        QFile imageFile(image);
        QVERIFY(imageFile.open(QIODevice::ReadOnly));
        const QByteArray imageBytes = imageFile.readAll();
        int savedFiles = 0;
        QDirIterator it(destination.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(imageBytes.indexOf(bytes) >= 0 && !bytes.isEmpty(), qPrintable(file.fileName()));
            ++savedFiles;
        }
        QCOMPARE(savedFiles, 3);
        QCOMPARE(card.access->requests(), 1);

        // A scan-info file of the drive: saving from it asks for the drive again.
        const QString scanInfo = destination.filePath("card scan");
        card.dialogs.choose(scanInfo);
        QSignalSpy written(card.app.get(), &AppController::scanInfoWritten);
        card.app->saveScan();
        QVERIFY(written.wait(30000));
        card.app->home();
        QSignalSpy read(card.app.get(), &AppController::scanInfoRead);
        card.app->openScanInfoFile(scanInfo + ".rvx");
        QVERIFY(read.wait(30000));
        QTemporaryDir again;
        card.dialogs.answer("Yes");
        card.dialogs.choose(again.path());
        QSignalSpy savedAgain(card.app.get(), &AppController::saveFinished);
        card.app->saveData();
        QVERIFY(savedAgain.wait(30000));
        QCOMPARE(card.access->requests(), 2);
        QCOMPARE(card.dialogs.alerts.last().title, QString("Saving Completed"));
        QVERIFY(!card.dialogs.alerts.last().message.contains("could not be saved"));
    }

    void everyRefusalSaysWhyUnderTheDriveAlertAndScansNothing_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("said");
        QTest::newRow("no disk service") << int(DeviceAccessResult::Outcome::NoService) << "'disk' group";
        QTest::newRow("no system bus") << int(DeviceAccessResult::Outcome::NoSystemBus) << "run Pelorin as root";
        QTest::newRow("refused") << int(DeviceAccessResult::Outcome::NotAuthorised) << "did not allow";
        QTest::newRow("dismissed") << int(DeviceAccessResult::Outcome::Dismissed) << "password prompt was closed";
        QTest::newRow("gone") << int(DeviceAccessResult::Outcome::DeviceNotFound) << "not there any more";
    }
    void everyRefusalSaysWhyUnderTheDriveAlertAndScansNothing() {
        QFETCH(int, answer);
        QFETCH(QString, said);
        CardReaderApp card({}, DeviceAccessResult::Outcome(answer));
        card.scanTheCard();
        card.access->answer();
        QTRY_VERIFY(!card.app->askingForAccess());
        QCOMPARE(card.dialogs.alerts.size(), 1);
        const Alert& alert = card.dialogs.alerts.first();
        QCOMPARE(alert.title, QString("Drive cannot open or not found"));
        QVERIFY2(alert.informativeText.contains(said, Qt::CaseInsensitive), qPrintable(alert.informativeText));
        QVERIFY(alert.informativeText.contains("/dev/pelorin-test-card"));
        // The application stays usable: back on the drive list, nothing scanned.
        QCOMPARE(card.app->currentPage(), Page::DriveList);
        QVERIFY(card.app->fileTypesPage()->isEnabled());
        QVERIFY(!card.app->root());
        QVERIFY(!card.app->scanRunning());
    }

    void closingTheWindowWhileAskingEndsTheWait() {
        CardReaderApp card({}, DeviceAccessResult::Outcome::Opened);
        card.scanTheCard();
        QTRY_VERIFY(!card.access->askedFor().empty());
        // The stand-in answers only when cancelled: the window goes at once.
        QElapsedTimer closing;
        closing.start();
        card.app.reset();
        QVERIFY(closing.elapsed() < 5000);
    }
};

}  // namespace pelorin::ui::testing

QTEST_MAIN(pelorin::ui::testing::DeviceAccessFlowTest)
#include "DeviceAccessFlowTest.moc"
