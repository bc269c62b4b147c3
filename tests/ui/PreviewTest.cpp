// Previews of pictures, raw files, PSDs and other files read from a disk image
// assembled at test time, the thumbnails of a folder, and the previewer's
// request rules (the one-time advice, a second request while
// reading, a source that fails) over sources of the test's own.

#include <QAbstractButton>
#include <QBuffer>
#include <QSemaphore>
#include <QTreeView>
#include <QtTest>

#include "engine/Source.h"
#include "support/AppHarness.h"
#include "support/TestBytes.h"
#include "support/TiffBuilder.h"
#include "ui/FoundTreeModel.h"
#include "ui/Previewer.h"
#include "ui/ResultsPage.h"
#include "ui/ThumbnailView.h"

using namespace pelorin;
using namespace pelorin::ui;
using pelorin::ui::testing::AppHarness;
using namespace pelorin::ui::testing;

namespace {

// A CR2 whose first IFD's strip is a preview JPEG starting 0x121 bytes into a sector.
QByteArray cr2WithPreview(const QByteArray& jpeg) {
    using pelorin::test::TiffBuilder;
    TiffBuilder b;
    b.poke(8, {'C', 'R', 2, 0});
    const uint32_t previewAt = 0x4321;
    const uint32_t first = b.placeIfd({b.ascii(271, "Canon"), b.short1(259, 6), TiffBuilder::long1(273, previewAt),
                                       TiffBuilder::long1(279, uint32_t(jpeg.size()))});
    const uint32_t raw =
        b.placeIfd({TiffBuilder::long1(273, 0x20000), TiffBuilder::long1(279, 0x1000), b.short1(259, 6)});
    b.link(first, raw);
    b.firstIfd(first);
    b.poke(previewAt, std::vector<uint8_t>(jpeg.begin(), jpeg.end()));
    b.padTo(0x21000);
    return fromStd(b.bytes());
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A source whose reads wait for the test's go-ahead, one read per release.
class GatedSource final : public Source {
public:
    explicit GatedSource(uint64_t size) : Source("gated", size, 512) {}
    SourceRead read(uint64_t offset, std::span<uint8_t> buffer) override {
        started.release();
        gate.acquire();
        if (failing) return {0, EIO};
        std::fill(buffer.begin(), buffer.end(), uint8_t(offset / 512));
        return {std::min<std::size_t>(buffer.size(), std::size_t(size() - std::min(offset, size()))), 0};
    }
    QSemaphore started, gate;
    std::atomic<bool> failing{false};
};

}  // namespace

class PreviewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void eachKindIsPreviewedFromTheImage_data();
    void eachKindIsPreviewedFromTheImage();
    void aFolderShowsItsIcon();
    void theAdviceToSaveScanInfoComesOnceAndCanReplaceThePreview();
    void whatCannotBeShownIsDumped_data();
    void whatCannotBeShownIsDumped();
    void aSecondRequestStopsTheReadingAtItsNextChunk();
    void aSourceThatFailsClosesTheWindow();
    void thumbnailsOfTheSelectedFolder();
    void thumbnailsStopDrawingWhenTheFolderChanges();
    void aPictureInPiecesIsPreviewedWhole();

private:
    void preview(FoundNode* node);
    FoundNode* fileNamed(const QString& folder, int row = 0) const;

    std::unique_ptr<AppHarness> harness_;
};

void PreviewTest::initTestCase() {
    harness_ = std::make_unique<AppHarness>();
    const QString dir = harness_->folder.path();
    writeFile(dir + "/wide.png", pictureBytes({800, 500}, "PNG", Qt::darkCyan));
    writeFile(dir + "/camera.cr2", cr2WithPreview(AppHarness::fixture("jpeg/large.jpg")));
    const QString image = harness_->buildImage("preview.img", QStringLiteral(
        "size 2097152\nfill zero\n"
        "place 64 jpeg/large.jpg\n"
        "place 400 %1/wide.png\n"
        "place 800 %1/camera.cr2\n"
        "place 1400 psd/image.psd\n"
        "place 1500 midi/scale.mid\n").arg(dir));
    harness_->scanImage(image);
}

FoundNode* PreviewTest::fileNamed(const QString& folder, int row) const {
    FoundNode* node = harness_->folderNamed(folder);
    return node && int(node->children().size()) > row ? node->childAtIndex(row) : nullptr;
}

void PreviewTest::preview(FoundNode* node) {
    QVERIFY(node);
    ResultsPage* page = harness_->app().resultsPage();
    page->treeView().setCurrentIndex(page->model().indexOf(node));
    QSignalSpy shown(harness_->app().previewer(), &Previewer::previewShown);
    harness_->dialogs.answer("Preview");
    page->viewButton().click();
    QVERIFY(!shown.isEmpty() || shown.wait(10000));
}

void PreviewTest::eachKindIsPreviewedFromTheImage_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QSize>("shownSize");
    QTest::addColumn<QString>("status");
    // 70,055 bytes at a sector boundary: one full 64 KiB read and the rest.
    QTest::newRow("JPEG") << "JPG Files" << QSize(200, 200) << "";
    QTest::newRow("PNG fitted into 400 x 250") << "PNG Files" << QSize(400, 250) << "";
    // The preview the scan filed, 0x121 bytes into its first sector.
    QTest::newRow("raw preview, filed") << "RAW Jpg Files" << QSize(200, 200) << "";
    QTest::newRow("raw file") << "CR2 Files" << QSize(200, 200) << "";
    QTest::newRow("PSD composite") << "PSD Files" << QSize(32, 24) << "";
    QTest::newRow("unsupported") << "MID Files" << QSize() << "Preview not supported for this file type";
}

void PreviewTest::eachKindIsPreviewedFromTheImage() {
    QFETCH(QString, folder);
    QFETCH(QSize, shownSize);
    QFETCH(QString, status);
    preview(fileNamed(folder));
    PreviewWindow& window = harness_->app().previewer()->window();
    QVERIFY(window.isVisible());
    QCOMPARE(window.status(), status);
    if (shownSize.isValid()) {
        QCOMPARE(window.page(), PreviewWindow::Page::Image);
        QCOMPARE(window.picture().size(), shownSize);
    } else {
        QCOMPARE(window.page(), PreviewWindow::Page::Text);
        QCOMPARE(window.text().size(), 2048);
        QVERIFY(window.text().startsWith("MThd...."));  // control bytes as dots
    }
}

void PreviewTest::aFolderShowsItsIcon() {
    preview(harness_->folderNamed("JPG Files"));
    PreviewWindow& window = harness_->app().previewer()->window();
    QCOMPARE(window.page(), PreviewWindow::Page::Image);
    QCOMPARE(window.picture().size(), QSize(128, 128));
    QCOMPARE(window.fileName(), QStringLiteral("JPG Files"));
}

// The rules of the previewer over a node and sources of the test's own.
void PreviewTest::theAdviceToSaveScanInfoComesOnceAndCanReplaceThePreview() {
    testing::ScriptedDialogs dialogs;
    FoundNode node;
    node.setFileType(FoundNode::kFoundFile);
    node.setFileName("file1.bin");
    int saves = 0;
    const QByteArray bytes(4096, 'a');
    auto source = std::make_shared<MemorySource>(
        std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
    QWidget mainWindow;
    Previewer previewer(dialogs, &mainWindow,
                        {[&] { return &node; }, [&] { return PreviewSource{source, 512}; }, [] { return true; },
                         [&] { ++saves; }});
    dialogs.answer("Save ScanInfo");
    previewer.request();
    QCOMPARE(saves, 1);
    QVERIFY(!previewer.window().isVisible());
    QCOMPARE(dialogs.alerts.size(), 1);
    QCOMPARE(dialogs.alerts[0].title, QStringLiteral("Information "));
    QCOMPARE(dialogs.alerts[0].buttons, (QStringList{"Save ScanInfo", "Preview"}));

    QSignalSpy shown(&previewer, &Previewer::previewShown);
    previewer.request();
    QVERIFY(shown.wait(5000));
    QCOMPARE(dialogs.alerts.size(), 1);
    QCOMPARE(previewer.window().text(), QString(2048, 'a'));
}

void PreviewTest::whatCannotBeShownIsDumped_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<quint64>("size");
    QTest::addColumn<QString>("status");
    QTest::newRow("undecodable picture") << "file1.jpg" << quint64(3000)
                                         << "Preview not available, file might be corrupt.";
    QTest::newRow("picture of 30 MiB") << "file1.png" << quint64(31457280) << "File size too large to preview";
    QTest::newRow("picture just under") << "file1.png" << quint64(31457279)
                                        << "Preview not available, file might be corrupt.";
    QTest::newRow("unknown type") << "file1.xyz" << quint64(10) << "Preview not supported for this file type";
}

// The dump is of the first sector's bytes, whatever the file's start offset in it.
void PreviewTest::whatCannotBeShownIsDumped() {
    QFETCH(QString, name);
    QFETCH(quint64, size);
    QFETCH(QString, status);
    testing::ScriptedDialogs dialogs;
    FoundNode node;
    node.setFileType(FoundNode::kFoundFile);
    node.setFileName(name.toStdString());
    node.setFileSize(size);
    node.setSectorNumber(1);
    node.setExtraBytesToMove(100);
    QByteArray bytes(512, 'x');
    bytes += QByteArray("\x01\x02text\x7F\xFF", 8) + QByteArray(4096, 'y');
    auto source = std::make_shared<MemorySource>(
        std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
    QWidget mainWindow;
    Previewer previewer(dialogs, &mainWindow,
                        {[&] { return &node; }, [&] { return PreviewSource{source, 512}; }, [] { return false; },
                         [] {}});
    QSignalSpy shown(&previewer, &Previewer::previewShown);
    previewer.request();
    QVERIFY(shown.wait(5000));
    QCOMPARE(previewer.window().page(), PreviewWindow::Page::Text);
    QCOMPARE(previewer.window().status(), status);
    QCOMPARE(previewer.window().text(), QStringLiteral("..text..") + QString(2040, 'y'));
}

void PreviewTest::aSecondRequestStopsTheReadingAtItsNextChunk() {
    testing::ScriptedDialogs dialogs;
    FoundNode video, picture;
    video.setFileType(FoundNode::kFoundFile);
    video.setFileName("file1.mp4");
    video.setFileSize(10 * PreviewLoader::kChunk);
    picture.setFileType(FoundNode::kFoundFile);
    picture.setFileName("file1.bin");
    picture.setSectorNumber(7);
    FoundNode* selected = &video;
    auto source = std::make_shared<GatedSource>(1 << 20);
    QWidget mainWindow;
    Previewer previewer(dialogs, &mainWindow,
                        {[&] { return selected; }, [&] { return PreviewSource{source, 512}; }, [] { return false; },
                         [] {}});
    previewer.request();
    QVERIFY(source->started.tryAcquire(1, 5000));  // the first chunk is being read
    QVERIFY(previewer.loader().running());
    QCOMPARE(previewer.window().page(), PreviewWindow::Page::Loading);
    selected = &picture;
    previewer.selectionChanged();
    QSignalSpy shown(&previewer, &Previewer::previewShown);
    source->gate.release(2);  // the chunk in progress, then the new row's read
    QVERIFY(shown.wait(5000));
    QCOMPARE(previewer.window().fileName(), QStringLiteral("file1.bin"));
    QCOMPARE(previewer.window().text(), QString(2048, QChar(7)).replace(QChar(7), '.'));
    QCOMPARE(source->started.available(), 1);  // the video's read went no further than its first chunk
}

void PreviewTest::aSourceThatFailsClosesTheWindow() {
    testing::ScriptedDialogs dialogs;
    FoundNode node;
    node.setFileType(FoundNode::kFoundFile);
    node.setFileName("file1.jpg");
    node.setFileSize(1000);
    auto source = std::make_shared<GatedSource>(1 << 20);
    source->failing = true;
    source->gate.release(1);
    QWidget mainWindow;
    Previewer previewer(dialogs, &mainWindow,
                        {[&] { return &node; }, [&] { return PreviewSource{source, 512}; }, [] { return false; },
                         [] {}});
    QSignalSpy shown(&previewer, &Previewer::previewShown);
    previewer.request();
    QVERIFY(shown.wait(5000));
    QCOMPARE(dialogs.alerts.size(), 1);
    QCOMPARE(dialogs.alerts[0].title, QStringLiteral("Drive cannot open or not found"));
    QVERIFY(!previewer.window().isVisible());

    // No source known: the user was told by the application, nothing is read.
    source->failing = false;
    Previewer sourceless(dialogs, &mainWindow,
                         {[&] { return &node; }, [] { return PreviewSource{}; }, [] { return false; }, [] {}});
    sourceless.request();
    QVERIFY(!sourceless.loader().running());
    QVERIFY(!sourceless.window().isVisible());
}

void PreviewTest::thumbnailsOfTheSelectedFolder() {
    ResultsPage* page = harness_->app().resultsPage();
    FoundNode* raw = fileNamed("CR2 Files");
    page->treeView().setCurrentIndex(page->model().indexOf(raw));
    ThumbnailModel& model = page->thumbnailView().model();
    QSignalSpy finished(&model, &ThumbnailModel::loadingFinished);
    page->thumbnailsButton().click();
    QVERIFY(page->thumbnailView().isVisibleTo(page));
    QCOMPARE(model.folder(), raw->parent());
    QVERIFY(!finished.isEmpty() || finished.wait(10000));
    // The raw file is drawn from the preview the scan filed for it.
    const QVariant picture = model.data(model.index(0), Qt::DecorationRole);
    QCOMPARE(picture.typeId(), QMetaType::QPixmap);
    QCOMPARE(picture.value<QPixmap>().size(), QSize(ThumbnailModel::kSide, ThumbnailModel::kSide));

    // A double-click previews; choosing a picture selects its row in the tree.
    QSignalSpy requested(page, &ResultsPage::previewRequested);
    emit page->thumbnailView().activated(model.index(0));
    QCOMPARE(requested.size(), 1);
    page->thumbnailView().setCurrentIndex(model.index(0));
    QCOMPARE(page->selectedNode(), raw);
    page->thumbnailsButton().click();
    QVERIFY(page->treeView().isVisibleTo(page));
    harness_->app().previewer()->close();
}

void PreviewTest::thumbnailsStopDrawingWhenTheFolderChanges() {
    auto folderOf = [](const QList<QPair<QString, uint64_t>>& files) {
        auto folder = std::make_unique<FoundNode>();
        folder->setFileType(FoundNode::kFolder);
        for (const auto& [name, sector] : files) {
            auto file = std::make_unique<FoundNode>();
            file->setFileType(FoundNode::kFoundFile);
            file->setFileName(name.toStdString());
            file->setSectorNumber(sector);
            file->setFileSize(sector == 0 ? 3 * PreviewLoader::kChunk : 4000);
            folder->addChild(std::move(file));
        }
        return folder;
    };
    const auto slow = folderOf({{"file1.jpg", 0}, {"file2.jpg", 0}});
    const auto quick = folderOf({{"file1.mid", 8}, {"file2.jpg", 8}});
    const QByteArray bytes = QByteArray(4096, 0) + pictureBytes({64, 32}, "JPG", Qt::darkCyan);
    auto memory = std::make_shared<MemorySource>(
        std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
    auto gated = std::make_shared<GatedSource>(1 << 20);

    ThumbnailModel model;
    QSignalSpy finished(&model, &ThumbnailModel::loadingFinished);
    model.showFolder(slow.get(), {gated, 512});
    QVERIFY(gated->started.tryAcquire(1, 5000));
    std::thread opener([&] {
        QThread::msleep(50);
        gated->gate.release(100);
    });
    model.showFolder(quick.get(), {memory, 512});
    opener.join();
    QCOMPARE(gated->started.available(), 0);  // the first folder's drawing stopped after its read in progress
    QVERIFY(finished.wait(5000));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(0), Qt::DecorationRole).typeId(), QMetaType::QIcon);  // no picture type
    QCOMPARE(model.data(model.index(1), Qt::DecorationRole).typeId(), QMetaType::QPixmap);
}

// A JPEG, red above and blue below, split in the middle around another file's
// bytes, its first piece starting inside a sector: the preview and the thumbnail
// read the pieces in order, so the bottom half is blue, not what lies after the
// first piece.
void PreviewTest::aPictureInPiecesIsPreviewedWhole() {
    QImage original(64, 128, QImage::Format_RGB32);
    original.fill(Qt::red);
    for (int y = 64; y < 128; ++y)
        for (int x = 0; x < 64; ++x) original.setPixelColor(x, y, Qt::blue);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(original.save(&buffer, "JPG", 95));
    const qsizetype half = jpeg.size() / 2;
    const QByteArray bytes = QByteArray(4196, 0) + jpeg.left(half) + QByteArray(8192, char(0xA5)) + jpeg.mid(half);
    auto source = std::make_shared<MemorySource>(
        std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size())));

    auto folder = std::make_unique<FoundNode>();
    folder->setFileType(FoundNode::kFolder);
    auto file = std::make_unique<FoundNode>();
    file->setFileType(FoundNode::kFoundFile);
    file->setFileName("file1.jpg");
    file->setSectorNumber(8);
    file->setExtraBytesToMove(100);
    file->setFileSize(uint64_t(jpeg.size()));
    file->setPieces({{4196, uint64_t(half)}, {4196 + uint64_t(half) + 8192, uint64_t(jpeg.size() - half)}});
    FoundNode* node = folder->addChild(std::move(file));
    auto isBlue = [](QColor colour) { return colour.blue() > 200 && colour.red() < 60 && colour.green() < 60; };
    auto isRed = [](QColor colour) { return colour.red() > 200 && colour.blue() < 60 && colour.green() < 60; };

    testing::ScriptedDialogs dialogs;
    QWidget mainWindow;
    Previewer previewer(dialogs, &mainWindow,
                        {[&] { return node; }, [&] { return PreviewSource{source, 512}; }, [] { return false; },
                         [] {}});
    QSignalSpy shown(&previewer, &Previewer::previewShown);
    previewer.request();
    QVERIFY(shown.wait(5000));
    const QImage picture = previewer.window().picture();
    QCOMPARE(picture.size(), QSize(64, 128));
    QVERIFY(isRed(picture.pixelColor(32, 10)));
    QVERIFY(isBlue(picture.pixelColor(32, 120)));
    QVERIFY(isBlue(picture.pixelColor(5, 70)));

    ThumbnailModel model;
    QSignalSpy finished(&model, &ThumbnailModel::loadingFinished);
    model.showFolder(folder.get(), {source, 512});
    QVERIFY(!finished.isEmpty() || finished.wait(5000));
    const QImage thumbnail = model.data(model.index(0), Qt::DecorationRole).value<QPixmap>().toImage();
    const int side = ThumbnailModel::kSide;
    QVERIFY(isRed(thumbnail.pixelColor(side / 2, side / 10)));
    QVERIFY(isBlue(thumbnail.pixelColor(side / 2, side * 9 / 10)));
}

QTEST_MAIN(PreviewTest)
#include "PreviewTest.moc"
