// The file-type page: every type that can be scanned has a box, and ticking
// reaches the count, the "Select all" box, its tooltip and the scan button.

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include "recognisers/Registry.h"
#include "ui/FileTypesPage.h"

using namespace pelorin;
using namespace pelorin::ui;

class FileTypesPageTest : public QObject {
    Q_OBJECT
private slots:
    void everyScannableTypeHasOneBoxUnderItsGroup() {
        FileTypesPage page;
        const TypeSelection available = availableTypes();
        QCOMPARE(page.findChildren<QCheckBox*>().size(), qsizetype(available.count()) + 2);  // + "Select all", split photos
        for (const FileTypeInfo& type : registry()) {
            QCheckBox* box = page.checkBox(type.type);
            QCOMPARE(box != nullptr, available.test(index(type.type)));
            if (box) QCOMPARE(box->text(), QString::fromUtf8(type.formatLabel.data(), type.formatLabel.size()));
        }
        // A box's group says what it is.
        const std::pair<FileType, QString> groupOf[] = {{FileType::Jpg, "Photos"}, {FileType::Psd, "Photos"},
                                                        {FileType::Cr2, "Camera raw"}, {FileType::Mp3, "Audio"},
                                                        {FileType::M4v, "Video"}, {FileType::Avi, "Video"}};
        for (const auto& [type, group] : groupOf) {
            QCheckBox* box = page.checkBox(type);
            if (!box) continue;
            auto* parent = qobject_cast<QGroupBox*>(box->parentWidget());
            QVERIFY(parent);
            QCOMPARE(parent->title(), group);
        }
        QCOMPARE(FileTypesPage::titleCase("HASSELBLAD"), QString("Hasselblad"));
    }

    void tickingReachesCountSelectAllTooltipAndScan() {
        FileTypesPage page;
        const int all = int(availableTypes().count());
        QCheckBox* selectAll = page.selectAllBox();
        QPushButton* scan = page.scanButton();
        page.enterWithAllTicked();
        QCOMPARE(page.numberOfFileTypeSelected(), all);
        QVERIFY(selectAll->isChecked());
        QCOMPARE(selectAll->toolTip(), QString("Deselect all file types"));

        // One unticked: select-all off, scan still possible.
        QCheckBox* jpg = page.checkBox(FileType::Jpg);
        jpg->click();
        QCOMPARE(page.numberOfFileTypeSelected(), all - 1);
        QVERIFY(!page.tickedTypes().test(index(FileType::Jpg)));
        QVERIFY(!selectAll->isChecked());
        QCOMPARE(selectAll->toolTip(), QString("Select all file types"));
        QVERIFY(scan->isEnabled());

        // Ticking the last one back turns select-all on.
        jpg->click();
        QVERIFY(selectAll->isChecked());
        QCOMPARE(selectAll->toolTip(), QString("Deselect all file types"));

        // "Select all" off unticks everything; then the last type alone.
        selectAll->click();
        QCOMPARE(page.numberOfFileTypeSelected(), 0);
        QVERIFY(!scan->isEnabled());
        QCOMPARE(selectAll->toolTip(), QString("Select all file types"));
        jpg->click();
        QVERIFY(scan->isEnabled());
        jpg->click();
        QVERIFY(!scan->isEnabled());
        QVERIFY(page.tickedTypes().none());
    }

    // On by default; what the user chose is what the next page (and the next run) starts with.
    void puttingSplitPhotosBackTogetherIsOnByDefaultAndRemembered() {
        QSettings().clear();
        {
            FileTypesPage page;
            QVERIFY(page.putSplitPhotosBackTogether());
            QCOMPARE(page.reassemblyBox()->text(), QString("Put split photos back together"));
            page.reassemblyBox()->click();
            QVERIFY(!page.putSplitPhotosBackTogether());
            page.enterWithAllTicked();  // ticking the types leaves it alone
            QVERIFY(!page.putSplitPhotosBackTogether());
        }
        FileTypesPage again;
        QVERIFY(!again.putSplitPhotosBackTogether());
        again.reassemblyBox()->click();
        QVERIFY(FileTypesPage().putSplitPhotosBackTogether());
        // Shown whole beside "Select all".
        again.resize(again.minimumSizeHint());
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QVERIFY(again.reassemblyBox()->width() >= again.reassemblyBox()->sizeHint().width());
        QSettings().clear();
    }

    void tickedTypesComeInKeyOrder() {
        FileTypesPage page;
        page.enterWithAllTicked();
        const std::vector<FileType> ordered = page.tickedInKeyOrder();
        QCOMPARE(ordered.size(), availableTypes().count());
        for (std::size_t i = 1; i < ordered.size(); ++i) QVERIFY(info(ordered[i - 1]).typeKey < info(ordered[i]).typeKey);
        if (availableTypes().all()) {
            // 3FR first and WAV last of the forty; the types added since follow them.
            QCOMPARE(ordered.front(), FileType::Threefr);
            QCOMPARE(ordered.at(39), FileType::Wav);
        }
    }
};

QTEST_MAIN(FileTypesPageTest)
#include "FileTypesPageTest.moc"
