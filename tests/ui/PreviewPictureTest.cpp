// Pictures made of a found file's bytes: the ID3 cover walk at its bounds,
// the preview JPEG inside raw files, PSD composites, and the sizes pictures
// are shown at.

#include <QBuffer>
#include <QtTest>

#include "support/AppHarness.h"
#include "support/TestBytes.h"
#include "support/TiffBuilder.h"
#include "ui/PreviewPicture.h"

using namespace pelorin::ui;
using pelorin::test::TiffBuilder;
using pelorin::ui::testing::AppHarness;
using namespace pelorin::ui::testing;

namespace {

// A PSD of 2 x 1 pixels in a colour mode, with its planes stored raw.
QByteArray psd(uint32_t mode, uint32_t channels, const QByteArray& planes, uint32_t depth = 8) {
    return "8BPS" + be16(1) + QByteArray(6, 0) + be16(channels) + be32(1) + be32(2) + be16(depth) + be16(mode) +
           be32(0) + be32(0) + be32(0) + be16(0) + planes;
}

}  // namespace

class PreviewPictureTest : public QObject {
    Q_OBJECT

private slots:
    void id3CoverStaysInsideItsBytes_data();
    void id3CoverStaysInsideItsBytes();
    void synchsafeValues();
    void rawPreviewIsTheLargestJpegPointedTo_data();
    void rawPreviewIsTheLargestJpegPointedTo();
    void photoshopComposites_data();
    void photoshopComposites();
    void displaySizes_data();
    void displaySizes();
    void kindsAndDumps();
};

void PreviewPictureTest::id3CoverStaysInsideItsBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("cover");
    const QByteArray picture("\x89PNG-picture-bytes", 18);
    const QByteArray apic = QByteArray("\x00image/png\x00\x03", 12) + QByteArray("Cover\x00", 6) + picture;
    const QByteArray title = id3Frame("TIT2", "\x03Title", 6);
    const QByteArray good = title + id3Frame("APIC", apic, uint32_t(apic.size()));
    QTest::newRow("after a title") << id3Tag(good, uint32_t(good.size())) << picture;
    const QByteArray wide = QByteArray("\x01image/png\x00\x03", 12) + QByteArray("C\x00\x00\x00", 4) + picture;
    QTest::newRow("UTF-16 description") << id3Tag(id3Frame("APIC", wide, uint32_t(wide.size())), uint32_t(wide.size() + 10))
                                        << picture;
    QTest::newRow("size 0") << id3Tag(id3Frame("APIC", apic, 0), uint32_t(apic.size() + 10)) << QByteArray();
    QTest::newRow("size 1") << id3Tag(id3Frame("APIC", apic, 1), uint32_t(apic.size() + 10)) << QByteArray();
    QTest::newRow("beyond the tag") << id3Tag(id3Frame("APIC", apic, uint32_t(apic.size())), 20) << QByteArray();
    QTest::newRow("a frame before it beyond the tag") << id3Tag(id3Frame("TIT2", {}, 5000) + apic, 200) << QByteArray();
    QTest::newRow("beyond the buffer") << id3Tag(good, 100000).left(60) << QByteArray();
    QTest::newRow("huge size") << id3Tag(id3Frame("APIC", apic, 0xFFFFFFF0), 0x0FFFFFFF) << QByteArray();
    QTest::newRow("no tag") << QByteArray("\xFF\xFB\x90\x00", 4) << QByteArray();
    QTest::newRow("header only") << QByteArray("ID3\x03", 4) << QByteArray();
}

void PreviewPictureTest::id3CoverStaysInsideItsBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, cover);
    QCOMPARE(id3CoverArt(bytes), cover);
}

void PreviewPictureTest::synchsafeValues() {
    QCOMPARE(synchsafeValue(0x7F7F7F7F), 0x0FFFFFFFu);
    QCOMPARE(synchsafeValue(0x00000101), 0x81u);
    QCOMPARE(synchsafeValue(0x01000000), 0x200000u);
}

void PreviewPictureTest::rawPreviewIsTheLargestJpegPointedTo_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("previewSize");
    const QByteArray small = pictureBytes({16, 8}, "JPG", Qt::blue), large = pictureBytes({64, 48}, "JPG", Qt::blue);
    // Larger, but no directory points to it: the structure wins over a search.
    const QByteArray decoy = pictureBytes({96, 80}, "JPG", Qt::blue);
    {
        // A thumbnail by JPEGInterchangeFormat in IFD1, the larger preview as IFD0's strip.
        TiffBuilder b;
        const uint32_t smallAt = b.place({small.begin(), small.end()});
        const uint32_t largeAt = b.place({large.begin(), large.end()});
        const uint32_t first = b.placeIfd({b.short1(259, 6), TiffBuilder::long1(273, largeAt),
                                           TiffBuilder::long1(279, uint32_t(large.size()))});
        b.link(first, b.placeIfd({TiffBuilder::long1(513, smallAt), TiffBuilder::long1(514, uint32_t(small.size()))}));
        b.firstIfd(first);
        b.place({decoy.begin(), decoy.end()});
        QTest::newRow("CR2-like chain") << fromStd(b.bytes()) << QSize(64, 48);
    }
    {
        // Big-endian, the preview in the second of two SubIFDs, its length beyond the bytes.
        TiffBuilder b(false);
        const uint32_t largeAt = b.place({large.begin(), large.end()});
        const uint32_t sub1 = b.placeIfd({TiffBuilder::long1(254, 1)});
        const uint32_t sub2 = b.placeIfd({TiffBuilder::long1(513, largeAt), TiffBuilder::long1(514, 0x7FFFFFF)});
        const uint32_t list = b.placeValues<uint32_t>({sub1, sub2});
        b.firstIfd(b.placeIfd({{330, 4, 2, list}}));
        b.place({decoy.begin(), decoy.end()});
        QTest::newRow("NEF-like SubIFDs") << fromStd(b.bytes()) << QSize(64, 48);
    }
    {
        QByteArray raf = QByteArray("FUJIFILMCCD-RAW 0201FF383501", 28).leftJustified(100, '\0');
        raf.replace(84, 4, be32(100)).replace(88, 4, be32(uint32_t(large.size())));
        QTest::newRow("RAF header") << raf + large << QSize(64, 48);
    }
    QTest::newRow("other layouts: the largest stream inside")
        << QByteArray(300, 'x') + small + QByteArray(77, 'y') + large << QSize(64, 48);
    QTest::newRow("no JPEG at all") << QByteArray(4096, 'z') << QSize(0, 0);
    {
        TiffBuilder b;
        b.firstIfd(b.placeIfd({TiffBuilder::long1(513, 0x100000), TiffBuilder::long1(514, 5000)}));
        QTest::newRow("a pointer past the bytes") << fromStd(b.bytes()) << QSize(0, 0);
    }
}

void PreviewPictureTest::rawPreviewIsTheLargestJpegPointedTo() {
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, previewSize);
    const QImage preview = QImage::fromData(cameraRawPreviewJpeg(bytes));
    QCOMPARE(preview.size(), previewSize);
}

void PreviewPictureTest::photoshopComposites_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QColor>>("pixels");
    QTest::newRow("grey, raw") << psd(1, 1, QByteArray("\x00\xFF", 2)) << QList<QColor>{Qt::black, Qt::white};
    QTest::newRow("RGB with alpha, raw") << psd(3, 4, QByteArray("\xFF\x00\x00\xFF\x00\x00\xAA\xAA", 8))
                                         << QList<QColor>{Qt::red, Qt::green};
    // Stored as 255 for no ink: no ink is white, full key black.
    QTest::newRow("CMYK, raw") << psd(4, 4, QByteArray("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8))
                               << QList<QColor>{Qt::white, Qt::black};
    // RLE: a row count per channel, then each row packed (a repeat of 2, a literal of 2).
    QByteArray rle = psd(3, 3, {});
    rle.chop(2);
    rle += be16(1) + be16(2) + be16(3) + be16(2) + QByteArray("\xFF\x00", 2) + QByteArray("\x01\xFF\x00", 3) +
           QByteArray("\xFF\xFF", 2);
    QTest::newRow("RGB, RLE") << rle << QList<QColor>{Qt::cyan, Qt::blue};
    QTest::newRow("RLE cut short") << rle.chopped(3) << QList<QColor>{};
    QTest::newRow("16-bit") << psd(3, 3, QByteArray(12, 0), 16) << QList<QColor>{};
    QTest::newRow("planes cut short") << psd(3, 3, QByteArray(5, 0)) << QList<QColor>{};
}

void PreviewPictureTest::photoshopComposites() {
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QColor>, pixels);
    const QImage image = photoshopComposite(bytes);
    QCOMPARE(image.isNull(), pixels.isEmpty());
    for (int x = 0; x < pixels.size(); ++x) QCOMPARE(image.pixelColor(x, 0), pixels[x]);
}

void PreviewPictureTest::displaySizes_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("nikon");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("wide") << QSize(800, 400) << false << QSize(400, 200);
    QTest::newRow("tall") << QSize(300, 600) << false << QSize(125, 250);
    QTest::newRow("fits") << QSize(400, 250) << false << QSize(400, 250);
    QTest::newRow("tiny") << QSize(40, 30) << false << QSize(40, 30);
    QTest::newRow("tiny NEF") << QSize(160, 40) << true << QSize(300, 200);
    QTest::newRow("small NEF") << QSize(160, 120) << true << QSize(160, 120);
}

void PreviewPictureTest::displaySizes() {
    QFETCH(QSize, size);
    QFETCH(bool, nikon);
    QFETCH(QSize, shown);
    QCOMPARE(previewDisplaySize(size, nikon), shown);
}

void PreviewPictureTest::kindsAndDumps() {
    QCOMPARE(previewKindFor("file1.JPG"), PreviewKind::Picture);
    QCOMPARE(previewKindFor("file1.tiff"), PreviewKind::Picture);
    QCOMPARE(previewKindFor("file - Raw Jpg1.jpg"), PreviewKind::Picture);
    QCOMPARE(previewKindFor("file1.nef"), PreviewKind::CameraRaw);
    QCOMPARE(previewKindFor("file1.x3f"), PreviewKind::CameraRaw);
    QCOMPARE(previewKindFor("file1.psd"), PreviewKind::Photoshop);
    QCOMPARE(previewKindFor("file1.m4a"), PreviewKind::Media);
    QCOMPARE(previewKindFor("file1.mid"), PreviewKind::Unsupported);
    QCOMPARE(previewKindFor("noextension"), PreviewKind::Unsupported);
    QCOMPARE(printableDump(QByteArray("A\x00\x1F ~\x7F\xFFz", 8)), QStringLiteral("A.. ~..z"));
    // The fixture PSD (RLE, RGB) decodes at its size.
    QCOMPARE(photoshopComposite(AppHarness::fixture("psd/image.psd")).size(), QSize(32, 24));
}

QTEST_MAIN(PreviewPictureTest)
#include "PreviewPictureTest.moc"
