#include "ui/PreviewPicture.h"

#include <QBuffer>
#include <QImageReader>
#include <QSet>
#include <algorithm>
#include <vector>

#include "engine/ByteView.h"
#include "engine/ReadWindow.h"
#include "engine/ScanContext.h"
#include "engine/Source.h"
#include "recognisers/raw/TiffWalker.h"

namespace pelorin::ui {

namespace {

ByteView viewOf(const QByteArray& bytes) {
    return ByteView(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
}

// The extensions of the camera raw types the scan finds (".raw" is both
// Panasonic's and Leica's).
const QSet<QString>& cameraRawExtensions() {
    static const QSet<QString> extensions{"arw", "sr2", "kdc", "k25", "dcr", "pef", "dng", "cr2", "nef",
                                          "nrw", "orf", "raw", "3fr", "crw", "mrw", "raf", "x3f"};
    return extensions;
}

// What the media player is given: the audio and video types the scan finds
// that GStreamer's base, good and libav plugins play (MIDI and RealMedia need
// others).
const QSet<QString>& mediaExtensions() {
    static const QSet<QString> extensions{"mp3", "wav", "aif", "aiff", "amr", "avi", "mpg", "mpeg",
                                          "mov", "mp4", "m4a", "m4b", "m4v", "3gp", "3g2"};
    return extensions;
}

QString extensionOf(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf('.');
    return dot < 0 ? QString() : fileName.mid(dot + 1).toLower();
}

bool startsJpeg(const ByteView& view, uint64_t at) { return view.byte(at) == 0xFF && view.byte(at + 1) == 0xD8; }

// ----- Camera raw -----

struct JpegSpan {
    uint64_t offset = 0;
    uint64_t length = 0;
};

// Walks the TIFF directories of a raw file held in memory through the
// recognisers' own walker, collecting the JPEGs they point to.
class RawJpegFinder {
public:
    explicit RawJpegFinder(const QByteArray& bytes)
        : bytes_(bytes),
          source_(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size()))) {
        context_.source = &source_;
        context_.sectorSize = source_.sectorSize();
        context_.sectorCount = (source_.size() + context_.sectorSize - 1) / context_.sectorSize;
    }

    std::vector<JpegSpan> tiffPreviews() {
        const ByteView view = viewOf(bytes_);
        const ByteOrder order = tiff::byteOrderOf(reinterpret_cast<const uint8_t*>(bytes_.constData()));
        if (bytes_.size() < 16 || order == ByteOrder::Unknown) return {};
        const bool little = order == ByteOrder::LittleEndian;
        ReadWindow window(context_);
        TiffWalker walker(window, context_, 0, little);
        std::vector<uint64_t> pending{little ? view.le32(4) : view.be32(4)};
        QSet<uint64_t> seen;
        std::vector<JpegSpan> found;
        while (!pending.empty() && seen.size() < 64) {
            const uint64_t at = pending.back();
            pending.pop_back();
            if (at < 8 || at >= uint64_t(bytes_.size()) || seen.contains(at)) continue;
            seen.insert(at);
            Ifd ifd;
            if (!walker.readIfd(at, ifd) || !ifd.entriesRead()) continue;
            uint64_t jpegOffset = 0, jpegLength = 0, stripOffset = 0, stripLength = 0;
            for (uint32_t i = 0; i < ifd.entryCount; ++i) {
                const IfdEntry& entry = ifd.entries[i];
                switch (entry.tag) {
                case 513: jpegOffset = entry.inlineValue; break;   // JPEGInterchangeFormat
                case 514: jpegLength = entry.inlineValue; break;   // JPEGInterchangeFormatLength
                case tiff::kTagStripOffsets:
                    if (entry.count == 1) stripOffset = entry.inlineValue;
                    break;
                case tiff::kTagStripByteCounts:
                    if (entry.count == 1) stripLength = entry.inlineValue;
                    break;
                case tiff::kTagSubIfds:
                    for (uint32_t k = 0; k < std::min<uint32_t>(entry.count, 8); ++k) {
                        uint32_t offset = entry.inlineValue;
                        if (entry.count > 1 && !walker.u32(uint64_t(entry.valueField) + 4 * k, offset)) break;
                        pending.push_back(offset);
                    }
                    break;
                default: break;
                }
            }
            consider(found, jpegOffset, jpegLength, walker);
            consider(found, stripOffset, stripLength, walker);  // a strip that is a whole JPEG (CR2, DNG)
            pending.push_back(ifd.nextIfdOffset);
        }
        return found;
    }

    // Every JPEG stream start in the bytes, measured by the recognisers' walk.
    std::vector<JpegSpan> scannedPreviews() {
        const ByteView view = viewOf(bytes_);
        ReadWindow window(context_);
        TiffWalker walker(window, context_, 0, true);
        std::vector<JpegSpan> found;
        const auto* data = reinterpret_cast<const uint8_t*>(bytes_.constData());
        const uint64_t size = uint64_t(bytes_.size());
        for (uint64_t at = 0; at + 4 <= size && found.size() < 32;) {
            const auto* hit = static_cast<const uint8_t*>(std::memchr(data + at, 0xFF, size - at - 3));
            if (!hit) break;
            at = uint64_t(hit - data);
            if (view.byte(at + 1) == 0xD8 && view.byte(at + 2) == 0xFF && view.byte(at + 3) >= 0xC0) {
                const uint64_t length = walker.previewJpegLength(at);
                if (length > 0) {
                    found.push_back({at, std::min(length, size - at)});
                    at += length;
                    continue;
                }
            }
            ++at;
        }
        return found;
    }

private:
    void consider(std::vector<JpegSpan>& found, uint64_t offset, uint64_t length, TiffWalker& walker) {
        const uint64_t size = uint64_t(bytes_.size());
        if (offset == 0 || offset >= size || !startsJpeg(viewOf(bytes_), offset)) return;
        // A length beyond the bytes in hand, or none at all: measure the stream.
        if (length == 0 || length > size - offset) length = std::min(walker.previewJpegLength(offset), size - offset);
        if (length > 0) found.push_back({offset, length});
    }

    const QByteArray& bytes_;
    MemorySource source_;
    ScanContext context_;
};

// ----- Photoshop -----

// Unpacks PackBits runs into `out` until it holds `count` bytes; false when
// the input ends first.
bool unpackBits(const ByteView& view, uint64_t at, uint64_t end, uint8_t* out, uint64_t count) {
    uint64_t written = 0;
    while (written < count) {
        if (at >= end) return false;
        const int header = int8_t(view.byte(at++));
        if (header >= 0) {
            const uint64_t run = std::min<uint64_t>(uint64_t(header) + 1, count - written);
            if (end - at < run) return false;
            for (uint64_t i = 0; i < run; ++i) out[written++] = view.byte(at + i);
            at += uint64_t(header) + 1;
        } else if (header != -128) {
            if (at >= end) return false;
            const uint8_t value = view.byte(at++);
            const uint64_t run = std::min<uint64_t>(uint64_t(1 - header), count - written);
            std::fill_n(out + written, run, value);
            written += run;
        }
    }
    return true;
}

}  // namespace

PreviewKind previewKindFor(const QString& fileName) {
    const QString extension = extensionOf(fileName);
    if (extension.isEmpty()) return PreviewKind::Unsupported;
    if (cameraRawExtensions().contains(extension)) return PreviewKind::CameraRaw;
    if (extension == "psd") return PreviewKind::Photoshop;
    if (mediaExtensions().contains(extension)) return PreviewKind::Media;
    static const QSet<QString> pictures = [] {
        QSet<QString> formats;
        for (const QByteArray& format : QImageReader::supportedImageFormats()) formats.insert(QString(format));
        return formats;
    }();
    return pictures.contains(extension) ? PreviewKind::Picture : PreviewKind::Unsupported;
}

bool isNikonRaw(const QString& fileName) { return extensionOf(fileName) == "nef"; }

uint32_t synchsafeValue(uint32_t value) {
    return (value & 0x7F) | (value >> 1 & 0x3F80) | (value >> 2 & 0x1FC000) | (value >> 3 & 0xFE00000);
}

QByteArray id3CoverArt(const QByteArray& bytes) {
    const ByteView view = viewOf(bytes);
    const uint64_t held = uint64_t(bytes.size());
    if (held < 10 || !view.matches(0, "ID3", 3)) return {};
    const bool synchsafeFrames = view.byte(3) >= 4;  // ID3v2.4 sizes its frames as the tag
    const uint64_t end = std::min<uint64_t>(10 + uint64_t(synchsafeValue(view.be32(6))), held);
    uint64_t at = 10;
    uint64_t frameSize = 0;
    for (;; at += 10 + frameSize) {
        if (at + 10 > end || view.byte(at) == 0) return {};  // the end of the tag, or its padding
        frameSize = synchsafeFrames ? synchsafeValue(view.be32(at + 4)) : view.be32(at + 4);
        if (frameSize > end - at - 10) return {};
        if (view.matches(at, "APIC", 4)) break;
    }
    const uint64_t frameEnd = at + 10 + frameSize;
    const uint8_t encoding = view.byte(at + 10);
    const bool wideText = encoding == 1 || encoding == 2;
    // A zero-ended text of at most 64 characters from `from`; the offset after it, or 0.
    auto skipText = [&](uint64_t from, bool wide) -> uint64_t {
        const uint64_t step = wide ? 2 : 1;
        for (uint64_t i = 0; i < 65; ++i) {
            const uint64_t p = from + i * step;
            if (p + step > frameEnd) return 0;
            if (view.byte(p) == 0 && (!wide || view.byte(p + 1) == 0)) return p + step;
        }
        return 0;
    };
    const uint64_t afterMime = skipText(at + 11, false);
    if (afterMime == 0 || afterMime + 1 >= frameEnd) return {};
    const uint64_t picture = skipText(afterMime + 1, wideText);  // after the picture-type byte
    if (picture == 0 || picture >= frameEnd) return {};
    return bytes.mid(qsizetype(picture), qsizetype(frameEnd - picture));
}

QByteArray cameraRawPreviewJpeg(const QByteArray& bytes) {
    if (bytes.size() < 16) return {};
    const ByteView view = viewOf(bytes);
    std::vector<JpegSpan> found;
    if (view.matches(0, "FUJIFILMCCD-RAW ", 16)) {
        const uint64_t offset = view.be32(84), length = view.be32(88);
        if (offset < uint64_t(bytes.size()) && startsJpeg(view, offset))
            found.push_back({offset, std::min<uint64_t>(length, uint64_t(bytes.size()) - offset)});
    }
    RawJpegFinder finder(bytes);
    if (found.empty()) found = finder.tiffPreviews();
    if (found.empty()) found = finder.scannedPreviews();
    if (found.empty()) return {};
    const auto largest = std::max_element(found.begin(), found.end(),
                                          [](const JpegSpan& a, const JpegSpan& b) { return a.length < b.length; });
    return bytes.mid(qsizetype(largest->offset), qsizetype(largest->length));
}

QImage photoshopComposite(const QByteArray& bytes) {
    const ByteView view = viewOf(bytes);
    const uint64_t size = uint64_t(bytes.size());
    if (size < 26 || !view.matches(0, "8BPS", 4)) return {};
    const uint32_t version = view.be16(4);
    const uint32_t channels = view.be16(12);
    const uint64_t height = view.be32(14), width = view.be32(18);
    const uint32_t depth = view.be16(22), mode = view.be16(24);
    const uint32_t colours = mode == 1 ? 1 : mode == 3 ? 3 : mode == 4 ? 4 : 0;
    if ((version != 1 && version != 2) || depth != 8 || colours == 0 || channels < colours || width == 0 ||
        height == 0 || width > 30000 || height > 30000 || width * height > (uint64_t{1} << 28))
        return {};
    // Colour-mode data, image resources, then layers and masks (a 64-bit length in PSB).
    uint64_t at = 26;
    at += 4 + view.be32(at);
    at += 4 + view.be32(at);
    if (at + 8 > size) return {};
    at += version == 2 ? 8 + view.be64(at) : 4 + view.be32(at);
    if (at + 2 > size) return {};
    const uint32_t compression = view.be16(at);
    at += 2;

    const uint64_t plane = width * height;
    std::vector<uint8_t> planes(plane * colours);
    if (compression == 0) {
        if (size - at < plane * colours) return {};
        std::copy_n(reinterpret_cast<const uint8_t*>(bytes.constData()) + at, plane * colours, planes.begin());
    } else if (compression == 1) {
        const uint64_t countWidth = version == 2 ? 4 : 2;
        const uint64_t rows = height * channels;
        if ((size - at) / countWidth < rows) return {};
        uint64_t data = at + rows * countWidth;
        for (uint64_t row = 0; row < height * colours; ++row) {
            const uint64_t packed =
                countWidth == 4 ? view.be32(at + row * countWidth) : view.be16(at + row * countWidth);
            if (packed > size - data || !unpackBits(view, data, data + packed, planes.data() + row * width, width))
                return {};
            data += packed;
        }
    } else {
        return {};
    }

    QImage image(int(width), int(height), QImage::Format_RGB32);
    for (uint64_t y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (uint64_t x = 0; x < width; ++x) {
            const uint64_t i = y * width + x;
            if (colours == 1) {
                line[x] = qRgb(planes[i], planes[i], planes[i]);
            } else if (colours == 3) {
                line[x] = qRgb(planes[i], planes[plane + i], planes[2 * plane + i]);
            } else {
                // Stored as 255 for no ink.
                const int key = planes[3 * plane + i];
                line[x] = qRgb(planes[i] * key / 255, planes[plane + i] * key / 255, planes[2 * plane + i] * key / 255);
            }
        }
    }
    return image;
}

QSize fittedSize(QSize size, QSize box) {
    if (size.height() <= box.height() && size.width() <= box.width()) return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QSize previewDisplaySize(QSize size, bool nikonRaw) {
    const QSize box(400, 250);
    if (size.height() > box.height() || size.width() > box.width()) return fittedSize(size, box);
    if (nikonRaw && (size.width() < 50 || size.height() < 50)) return QSize(300, 200);
    return size;
}

QImage decodePicture(const QByteArray& bytes, PreviewKind kind, QSize box, bool nikonRaw) {
    auto sizeFor = [&](QSize size) {
        return box.isEmpty() ? previewDisplaySize(size, nikonRaw) : fittedSize(size, box);
    };
    if (kind == PreviewKind::Photoshop) {
        const QImage composite = photoshopComposite(bytes);
        if (composite.isNull()) return {};
        return composite.scaled(sizeFor(composite.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    QByteArray picture = kind == PreviewKind::CameraRaw ? cameraRawPreviewJpeg(bytes) : bytes;
    QBuffer buffer(&picture);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (stored.isValid()) {
        const QSize wanted = sizeFor(stored);
        if (wanted.width() < stored.width()) reader.setScaledSize(wanted);
    }
    QImage image = reader.read();
    if (image.isNull()) return {};
    const QSize wanted = sizeFor(image.size());
    return wanted == image.size() ? image : image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString printableDump(const QByteArray& bytes) {
    QString text(bytes.size(), '.');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = uint8_t(bytes[i]);
        if (byte >= 32 && byte < 127) text[i] = QChar(byte);
    }
    return text;
}

}  // namespace pelorin::ui
