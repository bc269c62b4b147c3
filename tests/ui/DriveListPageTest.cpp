// The drive list page over recorded drives: what each row shows, what the
// description and Next say about the choice, and the watcher's rebuilds.

#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

#include "support/QueuedDeviceEvents.h"
#include "support/RecordedDevices.h"
#include "ui/DriveKind.h"
#include "ui/DriveListPage.h"
#include "ui/DriveTableModel.h"

using namespace pelorin;
using namespace pelorin::ui;

namespace {

QPushButton* button(QWidget& page, const QString& text) {
    for (QPushButton* b : page.findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

QString description(QWidget& page) { return page.findChild<QLabel*>("driveDescription")->text(); }

const QString kPrompt = QString::fromUtf8(texts::kSelectDrivePrompt.data(), texts::kSelectDrivePrompt.size());

}  // namespace

class DriveListPageTest : public QObject {
    Q_OBJECT
private slots:
    void rowsShowTitleDevicePathSizeAndTooltip() {
        RecordedDeviceDatabase database(test::recorded({"USB stick", "SATA disk"}));
        DriveListPage page(database);
        const DriveTableModel& model = page.model();
        QCOMPARE(model.rowCount(), 2);
        struct Row { QString title, path, size; };
        const Row expected[] = {{"Samsung SSD 860 EVO 500GB RVT02B6Q", "/dev/sda", "465.76 GB"},
                                {"SanDisk Cruzer Blade 1.00", "/dev/sdc", "7.45 GB"}};
        for (int row = 0; row < 2; ++row) {
            const QModelIndex drive = model.index(row, DriveTableModel::DrivesColumn);
            QCOMPARE(drive.data().toString(), expected[row].title);
            QCOMPARE(drive.data(DriveTableModel::SubtitleRole).toString(), expected[row].path);
            QVERIFY(!qvariant_cast<QIcon>(drive.data(Qt::DecorationRole)).isNull());
            QCOMPARE(model.index(row, DriveTableModel::SizeColumn).data().toString(), expected[row].size);
            for (int column : {0, 1})
                QCOMPARE(model.index(row, column).data(Qt::ToolTipRole).toString(), QString("Select drive for scanning"));
        }
    }

    void kindOfDrivePicksTheIcon() {
        RecordedDeviceDatabase database(test::recorded({"USB card reader", "USB stick", "SATA disk", "NVMe", "SD card", "FireWire"}));
        DriveListPage page(database);
        const std::map<std::string, DriveKind> expected{{"/dev/sdb", DriveKind::CardReader},
                                                        {"/dev/sdc", DriveKind::Usb},
                                                        {"/dev/sda", DriveKind::Disk},
                                                        {"/dev/nvme0n1", DriveKind::Disk},
                                                        {"/dev/mmcblk1", DriveKind::CardReader},
                                                        {"/dev/sdf", DriveKind::Disk}};
        QCOMPARE(page.driveList().numberOfRows(), expected.size());
        for (const MediaDictionary& row : page.driveList().drives())
            QCOMPARE(driveKind(row), expected.at(row.textOrEmpty(mediakey::kDevicePath)));
        MediaDictionary image;
        image.set(mediakey::kDevicePath, "/dev/loop3");
        image.set(mediakey::kIconName, "drive-harddisk");
        QCOMPARE(driveKind(image), DriveKind::DiskImage);
        image.set(mediakey::kIconName, "drive-optical");
        QCOMPARE(driveKind(image), DriveKind::Optical);
    }

    void choosingARowDescribesItAndEnablesNext() {
        RecordedDeviceDatabase database(test::recorded({"USB stick", "SATA disk"}));
        DriveListPage page(database);
        QPushButton* next = button(page, "Next");
        QVERIFY(next);
        QVERIFY(!next->isEnabled());
        QCOMPARE(description(page), kPrompt);

        auto* table = page.findChild<QTableView*>();
        table->selectRow(0);
        QVERIFY(next->isEnabled());
        QCOMPARE(description(page), QString("Selected Drive: Samsung SSD 860 EVO 500GB\n\nSerial: S3Z9NB0K123456A\n\nSize: 465.76 GB"));
        QCOMPARE(page.driveList().chosenDrive().sourcePath, std::string("/dev/sda"));
        table->selectRow(1);
        QCOMPARE(description(page), QString("Selected Drive: Cruzer Blade\n\nSerial: -\n\nSize: 7.45 GB"));

        QSignalSpy activated(&page, &DriveListPage::driveActivated);
        emit table->doubleClicked(page.model().index(0, 0));
        QCOMPARE(activated.size(), 1);

        table->clearSelection();
        QVERIFY(!next->isEnabled());
        QCOMPARE(description(page), kPrompt);
    }

    void deviceEventRebuildsTheTableAndKeepsTheChoice() {
        RecordedDeviceDatabase database(test::recorded({"SATA disk"}));
        DriveListPage page(database);
        page.findChild<QTableView*>()->selectRow(0);
        auto* events = new testing::QueuedDeviceEvents;
        page.startWatching(std::unique_ptr<DeviceEventSource>(events), std::chrono::milliseconds(0));

        database.devices = test::recorded({"SATA disk", "USB stick"});
        events->push(DeviceEventKind::Arrival);
        QTRY_COMPARE(page.model().rowCount(), 2);
        QTRY_COMPARE(page.watchedRefreshes(), 1u);
        QVERIFY(button(page, "Next")->isEnabled());
        QVERIFY(description(page).startsWith("Selected Drive: Samsung SSD 860 EVO 500GB"));
        QCOMPARE(page.findChild<QTableView*>()->selectionModel()->selectedRows().size(), 1);

        // The chosen row goes away: nothing is chosen any more.
        database.devices = {};
        events->push(DeviceEventKind::Removal);
        QTRY_COMPARE(page.model().rowCount(), 0);
        QTRY_VERIFY(!button(page, "Next")->isEnabled());
        QCOMPARE(description(page), kPrompt);
        QVERIFY(page.driveList().scannedDriveRemoved());
    }

    void stoppingWhileARebuildWaitsForThePageDoesNotHang() {
        RecordedDeviceDatabase database(test::recorded({"SATA disk"}));
        DriveListPage page(database);
        auto* events = new testing::QueuedDeviceEvents;
        page.startWatching(std::unique_ptr<DeviceEventSource>(events), std::chrono::milliseconds(0));
        events->push(DeviceEventKind::Removal);
        // The watcher now waits for a rebuild queued to this thread, which
        // does not turn its event loop.
        while (events->waiting() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        QElapsedTimer stopping;
        stopping.start();
        page.stopWatching();
        QVERIFY2(stopping.elapsed() < 2000, "stop waited for the rebuild");
        QCoreApplication::processEvents();  // the queued rebuild may still run harmlessly
    }

    void droppedFileIsOfferedAsDiskImageButNotAFolder() {
        RecordedDeviceDatabase database;
        DriveListPage page(database);
        QTemporaryDir folder;
        const QString image = folder.filePath("card.img");
        QFile file(image);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(512, '\0'));
        file.close();
        QSignalSpy dropped(&page, &DriveListPage::diskImageDropped);

        for (const QString& path : {folder.path(), image}) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&page, &enter);
            QCOMPARE(enter.isAccepted(), path == image);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&page, &drop);
        }
        QCOMPARE(dropped.size(), 1);
        QCOMPARE(dropped[0][0].toString(), image);
    }
};

QTEST_MAIN(DriveListPageTest)
#include "DriveListPageTest.moc"
