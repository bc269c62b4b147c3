#pragma once
// Bytes the window's tests build: big-endian fields, ID3v2.3 tags, pictures
// encoded in memory, and a source of zeros that holds none of them.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "engine/Source.h"

namespace pelorin::ui::testing {

inline QByteArray be32(uint32_t v) {
    QByteArray bytes(4, 0);
    for (int i = 0; i < 4; ++i) bytes[i] = char(v >> (24 - 8 * i));
    return bytes;
}

inline QByteArray be16(uint32_t v) { return be32(v).mid(2); }

inline QByteArray fromStd(const std::vector<uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// One ID3v2.3 frame whose size field says `declaredSize`.
inline QByteArray id3Frame(const char* id, const QByteArray& body, uint32_t declaredSize) {
    return QByteArray(id, 4) + be32(declaredSize) + QByteArray(2, 0) + body;
}
inline QByteArray id3Frame(const char* id, const QByteArray& body) {
    return id3Frame(id, body, uint32_t(body.size()));
}

// An ID3v2.3 tag of the frames whose size field says `tagSize` (synchsafe-coded).
inline QByteArray id3Tag(const QByteArray& frames, uint32_t tagSize) {
    const uint32_t n = tagSize;
    return QByteArray("ID3\x03\x00\x00", 6) +
           be32((n & 0x7F) | (n << 1 & 0x7F00) | (n << 2 & 0x7F0000) | (n << 3 & 0x7F000000)) + frames;
}
inline QByteArray id3Tag(const QByteArray& frames) { return id3Tag(frames, uint32_t(frames.size())); }

// A picture of one colour, encoded in the format ("PNG", "JPG", ...).
inline QByteArray pictureBytes(QSize size, const char* format, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Zeros, as many as it claims, without holding them; from `goneAt` on, the
// error of a drive pulled out.
class ZeroSource final : public Source {
public:
    explicit ZeroSource(uint64_t size, uint64_t goneAt = ~uint64_t{0}) : Source("zeros", size, 512), goneAt(goneAt) {}

    SourceRead read(uint64_t offset, std::span<uint8_t> buffer) override {
        if (offset >= size()) return {0, 0};
        if (offset >= goneAt) return {0, ENODEV};
        const auto count = std::size_t(std::min<uint64_t>(buffer.size(), size() - offset));
        std::fill_n(buffer.begin(), count, uint8_t(0));
        return {count, 0};
    }

private:
    uint64_t goneAt;
};

}  // namespace pelorin::ui::testing
