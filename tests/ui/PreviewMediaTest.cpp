// Audio and video found on a disk image assembled at test time reach the
// player from memory: its media status says they were decoded, the title
// comes from the tag, and an MP3's cover from its ID3 APIC frame.

#include <QAbstractButton>
#include <QBuffer>
#include <QMediaPlayer>
#include <QTreeView>
#include <QtTest>

#include "engine/Source.h"
#include "support/AppHarness.h"
#include "support/TestBytes.h"
#include "ui/FoundTreeModel.h"
#include "ui/Previewer.h"
#include "ui/ResultsPage.h"

using namespace pelorin;
using namespace pelorin::ui;
using pelorin::ui::testing::AppHarness;
using namespace pelorin::ui::testing;

namespace {

// An MP3 whose ID3v2.3 tag holds a title, then a PNG cover, before the fixture's audio.
QByteArray mp3WithCover(const QByteArray& cover) {
    const QByteArray audio = AppHarness::fixture("mp3/sine-id3.mp3").mid(45);
    const QByteArray apic = QByteArray("\x00image/png\x00\x03\x00", 13) + cover;
    return id3Tag(id3Frame("TIT2", QByteArray("\x03Sine", 5)) + id3Frame("APIC", apic)) + audio;
}

}  // namespace

class PreviewMediaTest : public QObject {
    Q_OBJECT

private slots:
    void audioAndVideoReachThePlayer_data();
    void audioAndVideoReachThePlayer();
    void onlyTheFirst50MiBOfALargeVideoAreRead();
    void aVideoThePlayerCannotReadSaysSo();
};

void PreviewMediaTest::audioAndVideoReachThePlayer_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("cover");
    QTest::newRow("MP3 with a cover") << "MP3 Files" << "Sine" << true;
    QTest::newRow("MP4") << "MP4 Files" << "" << false;
}

void PreviewMediaTest::audioAndVideoReachThePlayer() {
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(bool, cover);
    AppHarness harness;
    QFile file(harness.folder.filePath("cover.mp3"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(mp3WithCover(pictureBytes({160, 80}, "PNG", Qt::red)));
    file.close();
    harness.scanImage(harness.buildImage("media.img", QStringLiteral("size 1048576\nfill zero\n"
                                                                     "place 64 %1\n"
                                                                     "place 300 iso/testsrc-isom.mp4\n")
                                                          .arg(file.fileName())));
    FoundNode* typeFolder = harness.folderNamed(folder);
    QVERIFY(typeFolder && !typeFolder->children().empty());

    ResultsPage* page = harness.app().resultsPage();
    page->treeView().setCurrentIndex(page->model().indexOf(typeFolder->childAtIndex(0)));
    QSignalSpy shown(harness.app().previewer(), &Previewer::previewShown);
    harness.dialogs.answer("Preview");
    page->viewButton().click();
    QVERIFY(shown.wait(10000));
    PreviewWindow& window = harness.app().previewer()->window();
    QCOMPARE(window.page(), PreviewWindow::Page::Media);
    QTRY_COMPARE_WITH_TIMEOUT(window.player()->mediaStatus(), QMediaPlayer::LoadedMedia, 10000);
    QCOMPARE(window.mediaStatus(), QStringLiteral("Click Play button"));
    if (!name.isEmpty()) QCOMPARE(window.mediaName(), name);
    if (cover) {
        QCOMPARE(window.cover().size(), QSize(100, 50));
        QCOMPARE(window.cover().pixelColor(50, 25), QColor(Qt::red));
    }
}

void PreviewMediaTest::onlyTheFirst50MiBOfALargeVideoAreRead() {
    testing::ScriptedDialogs dialogs;
    FoundNode movie;
    movie.setFileType(FoundNode::kFoundFile);
    movie.setFileName("file1.mov");
    movie.setFileSize(60000000);
    movie.setExtraBytesToMove(300);
    auto zeros = std::make_shared<ZeroSource>(70000000);
    QWidget mainWindow;
    Previewer previewer(dialogs, &mainWindow,
                        {[&] { return &movie; }, [&] { return PreviewSource{zeros, 512}; }, [] { return false; },
                         [] {}});
    QSignalSpy shown(&previewer, &Previewer::previewShown);
    previewer.request();
    QVERIFY(shown.wait(10000));
    // 52,428,800 bytes after the 300 of the first sector that are not the file's: 800 full reads and 300 bytes.
    QCOMPARE(previewer.loader().chunksRead(), 801);
    QCOMPARE(previewer.window().page(), PreviewWindow::Page::Media);
}

void PreviewMediaTest::aVideoThePlayerCannotReadSaysSo() {
    testing::ScriptedDialogs dialogs;
    FoundNode movie;
    movie.setFileType(FoundNode::kFoundFile);
    movie.setFileName("file1.mp4");
    movie.setFileSize(20000);
    const QByteArray bytes = QByteArray("\0\0\0\x18" "ftypisom", 12) + QByteArray(20000, '\x5A');
    auto source = std::make_shared<MemorySource>(
        std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
    QWidget mainWindow;
    Previewer previewer(dialogs, &mainWindow,
                        {[&] { return &movie; }, [&] { return PreviewSource{source, 512}; }, [] { return false; },
                         [] {}});
    QSignalSpy shown(&previewer, &Previewer::previewShown);
    previewer.request();
    QVERIFY(shown.wait(10000));
    QTRY_VERIFY_WITH_TIMEOUT(previewer.window().mediaStatus().startsWith("!Error"), 10000);
    QCOMPARE(previewer.window().mediaName(), QStringLiteral("file1.mp4"));
}

QTEST_MAIN(PreviewMediaTest)
#include "PreviewMediaTest.moc"
