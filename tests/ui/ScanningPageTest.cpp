// The scanning page: the elapsed-time carries, the percentage, the pause
// button and the window of the types looked for.

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include "ui/ScanningPage.h"
#include "ui/SelectedTypesModel.h"
#include "ui/SelectedTypesWindow.h"

using namespace pelorin;
using namespace pelorin::ui;

namespace {

QString field(const ScanningPage& page, const char* name) { return page.findChild<QLabel*>(name)->text(); }

QPushButton* button(ScanningPage& page, const QString& text) {
    for (QPushButton* b : page.findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

}  // namespace

class ScanningPageTest : public QObject {
    Q_OBJECT
private slots:
    void clockCarriesSecondsIntoMinutesAndHours() {
        ScanningPage page;
        page.startClock();
        QVERIFY(page.clockRunning());
        for (const char* name : {"hoursField", "minutesField", "secondsField"}) QCOMPARE(field(page, name), QString("00"));
        struct Step { int ticks, hours, minutes, seconds; };
        const Step steps[] = {{59, 0, 0, 59}, {1, 0, 1, 0}, {3540, 1, 0, 0}, {3661, 2, 1, 1}};
        for (const Step& step : steps) {
            for (int i = 0; i < step.ticks; ++i) page.tick();
            QCOMPARE(field(page, "hoursField").toInt(), step.hours);
            QCOMPARE(field(page, "minutesField").toInt(), step.minutes);
            QCOMPARE(field(page, "secondsField").toInt(), step.seconds);
        }
        page.stopClock();
        QVERIFY(!page.clockRunning());
        QCOMPARE(field(page, "hoursField"), QString("00"));
        page.startClock();
        page.tick();
        QCOMPARE(field(page, "minutesField"), QString("00"));
        QCOMPARE(field(page, "secondsField"), QString("01"));
    }

    void beginAndProgressShowTheScan() {
        ScanningPage page;
        ChosenDrive drive;
        drive.serial = "S3Z9NB0K123456A";
        drive.displayName = "Samsung SSD 860 EVO 500GB RVT02B6Q";
        drive.sizeInBytes = 1048576;
        page.showProgress(40, 7);
        page.setPaused(true);
        page.begin(drive, {FileType::Jpg});
        QCOMPARE(field(page, "serialField"), QString("S3Z9NB0K123456A"));
        QCOMPARE(field(page, "sizeField"), QString("1.00 MB"));
        QCOMPARE(field(page, "driveNameField"), QString("Samsung SSD 860 EVO 500GB RVT02B6Q"));
        QCOMPARE(field(page, "filesFoundField"), QString("0"));
        QCOMPARE(field(page, "percentageField"), QString("0%"));
        QVERIFY(button(page, "Pause"));

        page.showProgress(99.97, 1234);
        QCOMPARE(field(page, "percentageField"), QString("99%"));
        QCOMPARE(field(page, "filesFoundField"), QString("1234"));

        // After the sectors, the pass over split photos: said, and nothing to pause;
        // the next scan starts without it.
        QCOMPARE(field(page, "stageField"), QString());
        page.showReassembling();
        QCOMPARE(field(page, "stageField"), QString("Putting split photos back together\u2026"));
        QVERIFY(!button(page, "Pause")->isEnabled());
        page.begin(drive, {FileType::Jpg});
        QCOMPARE(field(page, "stageField"), QString());
        QVERIFY(button(page, "Pause")->isEnabled());
    }

    void pauseButtonReportsClicksButNotSetPaused() {
        ScanningPage page;
        QSignalSpy toggled(&page, &ScanningPage::pauseToggled);
        QSignalSpy stopped(&page, &ScanningPage::stopClicked);
        button(page, "Pause")->click();
        QCOMPARE(toggled.size(), 1);
        QCOMPARE(toggled[0][0].toBool(), true);
        QPushButton* resume = button(page, "Resume");
        QVERIFY(resume && resume->isChecked());
        page.setPaused(false);  // "No" to the stop question
        QCOMPARE(toggled.size(), 1);
        QVERIFY(button(page, "Pause") == resume && !resume->isChecked());
        button(page, "Stop")->click();
        QCOMPARE(stopped.size(), 1);
    }

    void selectedTypesWindowListsTypesInOrderWithNumbers() {
        ScanningPage page;
        page.begin({}, {FileType::Threefr, FileType::Cr2, FileType::Psd, FileType::Wav});
        button(page, "Selected File Types")->click();
        SelectedTypesWindow* window = page.selectedTypesWindow();
        QVERIFY(window && window->isVisible() && !window->isModal());
        const QAbstractItemModel* model = window->findChild<QTableView*>()->model();
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QString("No."));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QString("Format"));
        QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QString("Category"));
        const QStringList rows[] = {{"1", "3FR", "HASSELBLAD"}, {"2", "CR2", "CANON"},
                                    {"3", "PSD", "PHOTOSHOP DOC"}, {"4", "WAV", "AUDIO"}};
        QCOMPARE(model->rowCount(), 4);
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 3; ++column)
                QCOMPARE(model->index(row, column).data().toString(), rows[row][column]);
        page.closeSelectedTypesWindow();
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(ScanningPageTest)
#include "ScanningPageTest.moc"
