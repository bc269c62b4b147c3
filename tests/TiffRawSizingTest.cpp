#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "recognisers/raw/TiffRawSizing.h"
#include "recognisers/raw/TiffWalker.h"
#include "support/TestSupport.h"
#include "support/TiffBuilder.h"

namespace pelorin::test {
namespace {

using Entries = std::vector<TiffEntry>;
using L = TiffBuilder;
using T = FileType;

Entries operator+(Entries a, const Entries& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Strip (or, from 324 on, tile) offsets and byte counts: inline for one, arrays for several, left out for none.
Entries strips(TiffBuilder& b, const std::vector<uint32_t>& offsets, const std::vector<uint32_t>& counts, uint16_t offsetTag = 273) {
    auto entry = [&](uint16_t tag, const std::vector<uint32_t>& v) {
        if (v.size() < 2) return v.empty() ? Entries{} : Entries{L::long1(tag, v[0])};
        return Entries{TiffEntry{tag, 4, uint32_t(v.size()), b.placeValues(v)}};
    };
    const Entries first = entry(offsetTag, offsets);  // placed before the counts
    return first + entry(offsetTag == 273 ? 279 : 325, counts);
}

uint32_t firstIfdOf(const Bytes& f) {
    return f[0] == 'I' ? (f[4] | f[5] << 8 | f[6] << 16 | uint32_t(f[7]) << 24)
                       : (uint32_t(f[4]) << 24 | f[5] << 16 | f[6] << 8 | f[7]);
}

struct Measured {
    uint64_t length;
    bool preview;
    uint64_t previewSector, previewExtra, previewSize;
};

struct Options {
    uint64_t sector = 0;
    // Skips the header test: measures with a verdict that found these.
    std::optional<TiffFinding> direct = {};
    std::function<void(TempImage&)> extra = {};  // more bytes on the source
    uint64_t imageSize = 0;
};

// Runs a member on a file at a sector as its recogniser does, ticked alone:
// header test, then length; a stop request made in between.
Measured measure(FileType type, const Bytes& file, const Options& o = {}, bool cancel = false) {
    TempImage image(std::max<uint64_t>({o.imageSize, o.sector * 512 + file.size(), 256 * 1024}));
    image.write(o.sector * 512, file);
    if (o.extra) o.extra(image);
    auto ctx = contextFor(image.path());
    uint8_t probe[kProbeSize] = {};
    std::copy_n(file.begin(), std::min<std::size_t>(file.size(), kProbeSize), probe);
    const auto member = static_cast<TiffMember>(index(type) - index(FileType::Arw));
    ReadWindow window(*ctx);
    FamilyVerdict verdict;
    if (o.direct)
        verdict = {bit(*o.direct), tiff::byteOrderOf(probe)};
    else if (!classifyTiffHeader(member, false, verdict, *ctx, window, probe, o.sector))
        return {0, false, 0, 0, 0};
    ctx->cancelRequested = cancel;
    Preview preview;
    const uint64_t length = measureTiffRawFile(member, verdict, preview, *ctx, window, probe, o.sector);
    return {length, preview.size != 0, preview.sector, preview.extraBytes, preview.size};
}

// ---- Layouts, one builder per maker -----------------------------------------------

Bytes arwA100(uint32_t subIfd, uint32_t rawLength, uint32_t previewAt, uint32_t previewLength) {
    TiffBuilder b;
    const uint32_t privateData = b.place(Bytes(160, 0));
    b.put32(privateData + 148, rawLength);
    b.firstIfd(b.placeIfd({b.ascii(271, "SONY"), b.ascii(272, "DSLR-A100"), L::long1(330, subIfd), L::long1(513, previewAt),
                           L::long1(514, previewLength), L::long1(50740, privateData)}));
    return b.bytes();
}

// A first IFD naming the camera (plus `main`) over one SubIFD holding one strip (plus `sub`).
Bytes withSubIfd(const std::string& make, const std::string& model, uint32_t stripOffset, uint32_t stripBytes, const Entries& sub,
                 const Entries& main = {}) {
    TiffBuilder b;
    const uint32_t at = b.placeIfd(strips(b, {stripOffset}, {stripBytes}) + sub);
    Entries first{b.ascii(271, make)};  // the texts placed in this order
    if (!model.empty()) first.push_back(b.ascii(272, model));
    first.push_back(L::long1(330, at));
    b.firstIfd(b.placeIfd(first + main));
    return b.bytes();
}

const TiffEntry kUncompressed{259, 3, 1, 1};

Bytes arwA700(uint32_t stripOffset, uint32_t stripBytes, uint32_t previewAt, uint32_t previewLength) {
    return withSubIfd("SONY", "DSLR-A700", stripOffset, stripBytes, {kUncompressed}, {L::long1(513, previewAt), L::long1(514, previewLength)});
}

Bytes sr2(uint32_t stripOffset, uint32_t stripBytes, uint32_t previewAt, uint32_t previewLength) {
    return withSubIfd("SONY", "DSC-R1", stripOffset, stripBytes, {L::long1(513, previewAt), L::long1(514, previewLength)});
}

// With `marked`, the first IFD is the full image (NewSubfileType 0) and holds the strips; else its SubIFD does.
Bytes kodak(const std::string& model, bool marked, const std::vector<uint32_t>& offsets, const std::vector<uint32_t>& counts) {
    TiffBuilder b;
    const uint32_t sub = marked ? b.placeIfd({b.short1(259, 1), b.short1(262, 1)})
                                : b.placeIfd(strips(b, offsets, counts) + Entries{b.short1(259, 1)});
    const Entries own = marked ? strips(b, offsets, counts) : Entries{};
    b.firstIfd(b.placeIfd(Entries{L::long1(254, marked ? 0 : 1), b.ascii(272, model), L::long1(330, sub)} + own));
    return b.bytes();
}

// DCR: one SubIFD per strip end; tag 65001's count adds 4 bytes each.
Bytes dcr(const std::vector<std::pair<uint32_t, uint32_t>>& subStrips, uint32_t extraCount) {
    TiffBuilder b;
    std::vector<uint32_t> subs;
    for (const auto& [offset, bytes] : subStrips)
        subs.push_back(b.placeIfd(strips(b, {offset}, {bytes}) + Entries{TiffEntry{65001, 7, extraCount, 0}}));
    const TiffEntry subIfds = subs.size() == 1 ? L::long1(330, subs[0]) : TiffEntry{330, 4, uint32_t(subs.size()), b.placeValues(subs)};
    b.firstIfd(b.placeIfd({b.ascii(271, "Kodak"), b.ascii(272, "DCS Pro 14N"), subIfds}));
    return b.bytes();
}

// A PEF chain: the first IFD holds the raw strips, each further IFD a preview,
// placed from `previewIfdsAt` on when given.
Bytes pef(uint32_t stripOffset, uint32_t stripBytes, const std::vector<std::pair<uint32_t, uint32_t>>& previews,
          uint32_t previewIfdsAt = 0) {
    TiffBuilder b;
    uint32_t previous = b.placeIfd(Entries{b.ascii(271, "PENTAX Corporation"), b.short1(259, 1)} + strips(b, {stripOffset}, {stripBytes}));
    b.firstIfd(previous);
    for (const auto& [at, length] : previews) {
        if (previewIfdsAt) b.padTo(previewIfdsAt += 0x100);
        const uint32_t ifd = b.placeIfd({L::long1(513, at), L::long1(514, length)});
        b.link(previous, ifd);
        previous = ifd;
    }
    return b.bytes();
}

// One SubIFD (raw only) or two (raw, then preview), plus `main` in the first IFD. A raw byte count
// of 0 leaves the raw SubIFD without strips.
Bytes dng(const std::string& model, uint32_t rawOffset, uint32_t rawBytes, uint32_t previewAt = 0, uint32_t previewLength = 0,
          const Entries& main = {}) {
    TiffBuilder b;
    const uint32_t raw = b.placeIfd(Entries{b.short1(259, 1), b.short1(262, 32803)} +
                                    (rawBytes ? strips(b, {rawOffset}, {rawBytes}) : Entries{}));
    TiffEntry subIfds = L::long1(330, raw);
    if (previewLength) {
        const uint32_t preview = b.placeIfd(strips(b, {previewAt}, {previewLength}) + Entries{b.short1(259, 7)});
        subIfds = {330, 4, 2, b.placeValues(std::vector<uint32_t>{raw, preview})};
    }
    b.firstIfd(b.placeIfd(Entries{b.ascii(271, "Maker"), b.ascii(272, model), subIfds, TiffEntry{50706, 1, 4, 0x00000401}} + main));
    return b.bytes();
}

// A DNG as cameras and phones write it: no SubIFDs, the image in the first IFD, in one strip or
// in four tiles, from `imageAt` on. An XMP packet of `xmpBytes`, when given, follows the
// directory, which is placed from `ifdAt` on.
Bytes cameraDng(bool little, bool tiles, uint32_t imageAt, uint32_t imageBytes, uint32_t xmpBytes = 0, uint32_t ifdAt = 0) {
    TiffBuilder b(little);
    Entries entries{b.ascii(271, tiles ? "GoPro" : "Canon"), b.ascii(272, tiles ? "HERO8 Black" : "Canon EOS 550D"), b.short1(259, 1),
                    b.short1(262, 32803), TiffEntry{50706, 1, 4, little ? 0x00000401u : 0x01040000u}};
    const uint32_t tile = imageBytes / 4;
    entries = entries + (tiles ? strips(b, {imageAt, imageAt + tile, imageAt + 2 * tile, imageAt + 3 * tile},
                                        {tile, tile, tile, imageBytes - 3 * tile}, 324)
                               : strips(b, {imageAt}, {imageBytes}));
    b.padTo(ifdAt);
    const uint32_t ifd = uint32_t(b.bytes().size() + 1) & ~1u;
    if (xmpBytes) entries.push_back({700, 1, xmpBytes, ifd + 12 * uint32_t(entries.size() + 1) + 6});
    b.firstIfd(b.placeIfd(entries));
    if (xmpBytes) b.place(Bytes(xmpBytes, ' '));
    return b.bytes();
}

// A CR2: four IFDs, the first describing the preview and the last the raw data.
Bytes cr2(uint32_t previewAt, uint32_t previewLength, const std::vector<uint32_t>& rawOffsets, const std::vector<uint32_t>& rawCounts) {
    TiffBuilder b;
    b.poke(8, {'C', 'R', 2, 0});
    const uint32_t first = b.placeIfd({b.ascii(271, "Canon"), b.short1(259, 6), L::long1(273, previewAt), L::long1(279, previewLength)});
    const uint32_t thumb = b.placeIfd({L::long1(513, 0x100), L::long1(514, 0x900000)});
    const uint32_t small = b.placeIfd(strips(b, {0x200}, {0x8000000}));
    b.link(first, thumb);
    b.link(thumb, small);
    b.link(small, b.placeIfd(strips(b, rawOffsets, rawCounts) + Entries{b.short1(259, 6)}));
    b.firstIfd(first);
    return b.bytes();
}

struct NikonSub {
    std::vector<uint32_t> offsets, counts;      // strips, if any
    uint32_t previewAt = 0, previewLength = 0;  // preview, if a length is given
};

Bytes nikon(const std::vector<NikonSub>& subs, bool littleEndian = false) {
    TiffBuilder b(littleEndian);
    std::vector<uint32_t> offsets;
    for (const NikonSub& s : subs)
        offsets.push_back(b.placeIfd(Entries{b.short1(259, 1)} + (s.offsets.empty() ? Entries{} : strips(b, s.offsets, s.counts)) +
                                     (s.previewLength ? Entries{L::long1(513, s.previewAt), L::long1(514, s.previewLength)} : Entries{})));
    const TiffEntry subIfds = offsets.size() == 1 ? L::long1(330, offsets[0]) : TiffEntry{330, 4, uint32_t(offsets.size()), b.placeValues(offsets)};
    b.firstIfd(b.placeIfd({b.short1(259, 1), b.ascii(271, "NIKON CORPORATION"), b.ascii(272, "NIKON D3"), subIfds}));
    return b.bytes();
}

Bytes nikonWithoutSubIfds() {
    TiffBuilder b;
    Entries entries{b.ascii(271, "NIKON")};
    for (uint16_t tag = 256; tag < 263; ++tag) entries.push_back(b.short1(tag, 1));
    b.firstIfd(b.placeIfd(entries));
    return b.bytes();
}

// An ORF whose Exif IFD holds a maker note: the newer kind, or the older one whose
// IFD names the camera settings, read 12 bytes past the offset it gives.
Bytes orf(char kind, uint32_t stripOffset, uint32_t stripBytes, uint32_t oldPreviewAt = 0, uint32_t oldPreviewLength = 0) {
    TiffBuilder b;
    b.magic('R', uint8_t(kind));
    uint32_t note = 0;
    if (oldPreviewLength) {
        const uint32_t settings = b.placeIfd({L::long1(0x101, oldPreviewAt), L::long1(0x102, oldPreviewLength)});
        note = b.place({'O', 'L', 'Y', 'M', 'P', 0, 1, 0});
        b.placeIfd({TiffEntry{0x2020, 13, 1, settings - 12}});
    } else {
        note = b.place({'O', 'L', 'Y', 'M', 'P', 'U', 'S', 0, 'I', 'I', 3, 0});
    }
    const uint32_t exif = b.placeIfd({TiffEntry{37500, 7, 100, note}, b.short1(40961, 1)});
    b.firstIfd(b.placeIfd(Entries{b.ascii(271, "OLYMPUS IMAGING CORP."), L::long1(34665, exif)} + strips(b, {stripOffset}, {stripBytes})));
    return b.bytes();
}

Bytes panasonic(const char* make, uint32_t stripOffset, uint32_t stripBytes, uint32_t previewAt, const Bytes& jpeg) {
    TiffBuilder b;
    b.magic(0x55, 0x00).padTo(64);
    b.firstIfd(b.placeIfd(Entries{b.ascii(271, make), TiffEntry{46, 7, uint32_t(jpeg.size()), previewAt}} + strips(b, {stripOffset}, {stripBytes})));
    if (!jpeg.empty()) b.poke(previewAt, jpeg);
    return b.bytes();
}

Bytes threefr(uint32_t stripOffset, uint32_t stripBytes) { return withSubIfd("Hasselblad", "", stripOffset, stripBytes, {kUncompressed}); }

// ---- Every member's layouts -------------------------------------------------------

constexpr uint64_t kNoPreview = ~0ull, kAnyPreview = kNoPreview - 1;

struct Case {
    const char* name;
    FileType type;
    Bytes file;
    uint64_t length;
    uint64_t previewAt = kNoPreview;  // offset inside the file
    uint64_t previewSize = 0;
    Options options = {};
};

std::vector<Case> cases() {
    const Bytes jpeg = fixture("jpeg/exif.jpg");
    const Bytes sr2Inside = sr2(0, 8, 0x2345, 0x4000);
    const Bytes dngNoStrips = dng("Camera", 0, 0), threefrInside = threefr(0, 8);
    const std::vector<uint32_t> kdc26(26, 0x3000);
    std::vector<uint32_t> k25Many(30, 0x100);
    k25Many.back() = 0x4000;
    const TiffFinding pefFound = TiffFinding::Pef, nefFound = TiffFinding::Nef;
    const auto endMarkerAt = [](uint64_t at) { return [at](TempImage& image) { image.write(at, {0xFF, 0xD9}); }; };
    const uint64_t pefFar = 0x9600000ull + 8, rw2Far = 0x6400000ull + 3;
    const Bytes nefFile = nikon({{{}, {}, 0x2201, 0x4000}, {{}, {}, 0x8000, 0x20000}, {{0x30000}, {0x900000}}});
    return {
        // SubIFD offset + the raw length 148 bytes into the private data; no slack; previews capped at 7 MiB.
        {"A100", T::Arw, arwA100(0x1000, 0x50000, 0x10234, 0x8000), 0x51000, 0x10234, 0x8000, {.sector = 7}},
        {"A100 preview beyond the length", T::Arw, arwA100(0x1000, 0x50000, 0x60000, 0x8000), 0x51000},
        {"A100 preview capped", T::Arw, arwA100(0x1000, 0x50000, 0x10234, 0x800000), 0x51000, 0x10234, 0x700000},
        {"A700 preview after the raw data", T::Arw, arwA700(0x8000, 0x40000, 0x50000, 0x6000), 0x48000},
        {"A700 beyond 200 MiB", T::Arw, arwA700(0x8000, 0xC800000, 0x1F00, 0x6000), 0},
        {"SR2", T::Sr2, sr2(0x9000, 0x30000, 0x2345, 0x4000), 0x39000 + 512, 0x2345, 0x4000, {.sector = 2}},
        {"SR2 preview of 1,024 bytes", T::Sr2, sr2(0x9000, 0x30000, 0x2345, 1024), 0x39000 + 512},
        {"SR2 strip end within the directory", T::Sr2, sr2Inside, firstIfdOf(sr2Inside) + 12u * 3 + 6 + 512, 0x2345, 0x4000},
        {"KDC marked", T::Kdc, kodak("Kodak DC120", true, {0x2000}, {0x10000}), 0x12000 + 512},
        {"KDC SubIFD", T::Kdc, kodak("Kodak DC120", false, {0x3000}, {0x20000}), 0x23000 + 512},
        {"KDC 26 strips", T::Kdc, kodak("Kodak DC120", false, kdc26, kdc26), 0},
        {"K25 30 strips", T::K25, kodak("KODAK DC25", false, k25Many, k25Many), 0x8000},
        {"DCR one SubIFD", T::Dcr, dcr({{0x4000, 0x30000}}, 10), 0x34000 + 40 + 512},
        {"DCR largest strip end, extra capped", T::Dcr, dcr({{0x1000, 0x10000}, {0x5000, 0x4B000}, {0x2000, 0x1E000}}, 50000), 0x50000 + 307200 + 512},
        {"DCR eleven SubIFDs", T::Dcr, dcr(std::vector<std::pair<uint32_t, uint32_t>>(11, {0x1000, 0x10000}), 0), 0},
        {"PEF longest preview wins", T::Pef, pef(0x5000, 0x60000, {{0x1100, 0x2000}, {0x3300, 0x10000}}), 0x65000 + 0x10000 + 512, 0x3300, 0x10000, {.sector = 5}},
        {"PEF 6 IFDs", T::Pef, pef(0x5000, 0x60000, std::vector<std::pair<uint32_t, uint32_t>>(5, {0x1100, 0x2000})), 0x67000 + 512, 0x1100, 0x2000, {.direct = pefFound}},
        {"PEF 7 IFDs", T::Pef, pef(0x5000, 0x60000, std::vector<std::pair<uint32_t, uint32_t>>(6, {0x1100, 0x2000})), 0, kNoPreview, 0, {.direct = pefFound}},
        // Raw data ends at 0x400; each preview IFD beyond it adds 12 × 2 + 6.
        {"PEF directories after the raw data", T::Pef, pef(0x300, 0x100, {{0x2000, 0x3000}, {0x2000, 0x100}}, 0x700), 0x400 + 30 + 30 + 0x3000 + 512, 0x2000, 0x3000},
        {"PEF preview beyond its bound", T::Pef, pef(0x5000, 0x60000, {{0x1100, 0x2000}, {0x9600001, 0x3000}}), 0x65000 + 0x3000 + 512},
        {"PEF far into a large source", T::Pef, pef(0x5000, 0x60000, {{0x1100, 0x2000}, {0x3300, 0x3000}}), 0x65000 + 0x3000 + 512, 0x3300, 0x3000, {.sector = pefFar, .imageSize = (pefFar + 1024) * 512}},
        {"DNG one SubIFD", T::Dng, dng("Camera", 0x3000, 0x80000), 0x83000 + 512},
        // The DNG version's bytes 1 4 0 0, read as an offset (0x401), lie beyond the directory: 4 bytes.
        {"DNG without raw strips", T::Dng, dngNoStrips, firstIfdOf(dngNoStrips) + 12u * 4 + 6 + 4 + 512},
        {"*ist D preview before the raw data's end, far into the source", T::Dng, dng("PENTAX *ist D", 0x3000, 0x80000, 0x1000, 0x5000), 0x83000 + 512, 0x1000, 0x5000, {.sector = 4000}},
        // A thumbnail in the first IFD, as converters write, leaves the raw SubIFD's end standing.
        {"DNG one SubIFD, thumbnail in the first IFD", T::Dng, dng("Camera", 0x3000, 0x80000, 0, 0, {L::long1(273, 0x90000), L::long1(279, 0x1000)}), 0x83000 + 512},
        {"*ist D preview after the raw data", T::Dng, dng("PENTAX *ist D", 0x3000, 0x80000, 0x83000, 0x5000), 0x88000 + 512, 0x83000, 0x5000},
        {"CR2 strip arrays", T::Cr2, cr2(0x4321, 0x30000, {0x1000, 0x2000, 0x200000}, {0x1000, 0x1000, 0x300000}), 0x500000, 0x4321, 0x30000},
        {"CR2 beyond 150 MiB", T::Cr2, cr2(0x4321, 0x30000, {0x9000000}, {0x600001}), 0},
        {"CR2 without a last byte count", T::Cr2, cr2(0x4321, 0x30000, {0x1000}, {}), 0},
        {"NRW refuses a NEF", T::Nrw, nefFile, 0},
        // Inline strips decide at once: offset + bytes, no slack.
        {"NEF one SubIFD", T::Nef, nikon({{{0x30000}, {0x900000}, 0x2201, 0x4000}}), 0x930000, kAnyPreview},
        {"NEF one SubIFD, arrays", T::Nef, nikon({{{0x30000, 0x40000}, {0x10000, 0x800000}, 0x2201, 0x4000}}), 0x840000 + 512, 0x2201, 0x4000, {.sector = 4}},
        {"Nikon without SubIFDs", T::Nef, nikonWithoutSubIfds(), 12u * 8 + 6, kNoPreview, 0, {.direct = nefFound}},
        // The newer maker note: the preview at 0x6000 ends at its end marker.
        {"ORF 'RO'", T::Orf, orf('O', 0x2000, 0x100000), 0x102000 + 512, 0x6000, 65536 + 0x1234 + 50, {.extra = endMarkerAt(0x6000 + 0x1234)}},
        // 'RS' files start with 5,500 bytes before the strips are counted.
        {"ORF 'RS'", T::Orf, orf('S', 0x2000, 0x100000), 5500 + 0x102000 + 512, 0x6000, 2 * 65536 + 100 + 50, {.sector = 3, .extra = endMarkerAt(3 * 512 + 0x6000 + 65536 + 100)}},
        {"ORF older maker note", T::Orf, orf('O', 0x2000, 0x100000, 0x3456, 0x9000), 0x102000 + 512, 0x3456, 0x9000, {.sector = 1}},
        {"ORF older maker note, preview too long", T::Orf, orf('O', 0x2000, 0x100000, 0x3456, 0x200001), 0x102000 + 512},
        {"ORF strip end before the first IFD", T::Orf, orf('O', 0, 60, 0x3456, 0x9000), 60u + 12 * 4 + 6 + 512, kAnyPreview},
        // The preview is the JPEG's own length, no slack.
        {"Leica", T::Leica, panasonic("LEICA", 0x8000, 0x200000, 0x1001, jpeg), 0x208000 + 512, 0x1001, jpeg.size()},
        {"RW2 without a JPEG at tag 46", T::RawPanasonic, panasonic("Panasonic", 0x8000, 0x200000, 0x1001, {}), 0x208000 + 512},
        {"RW2 preview beyond 100 MiB into the file", T::RawPanasonic, panasonic("Panasonic", 0x8000, 0x200000, 0x6400000, {}), 0x208000 + 512, kNoPreview, 0, {.extra = [jpeg](TempImage& image) { image.write(0x6400000, jpeg); }}},
        {"RW2 far into a large source", T::RawPanasonic, panasonic("Panasonic", 0x8000, 0x200000, 0x1001, jpeg), 0x208000 + 512, 0x1001, jpeg.size(), {.sector = rw2Far, .imageSize = (rw2Far + 1024) * 512}},
        {"3FR reduced", T::Threefr, threefr(0x1000, 0x1E00000 - 0x1000), 20971520},
        {"3FR just below the reduction", T::Threefr, threefr(0x1000, 0x1E00000 - 0x1001), 0x1E00000 - 1},
        {"3FR beyond 200 MiB", T::Threefr, threefr(0x1000, 0xC800000), 0},
        {"3FR strip end within the directory", T::Threefr, threefrInside, firstIfdOf(threefrInside) + 12u * 2 + 8},
    };
}

TEST(TiffRawSizing, EveryMembersLayoutsAndPreviews) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const Measured m = measure(c.type, c.file, c.options);
        EXPECT_EQ(m.length, c.length);
        // A cancelled scan measures nothing.
        if (c.length && !c.options.direct) {
            EXPECT_EQ(measure(c.type, c.file, c.options, true).length, 0u);
        }
        // The loop files a preview only with its raw file.
        if (!c.length || c.previewAt == kAnyPreview) continue;
        EXPECT_EQ(m.preview, c.previewAt != kNoPreview);
        if (!m.preview || c.previewAt == kNoPreview) continue;
        // The file's sector plus the offset's whole sectors; the remainder as extra bytes.
        EXPECT_EQ(m.previewSector, c.options.sector + c.previewAt / 512);
        EXPECT_EQ(m.previewExtra, c.previewAt % 512);
        EXPECT_EQ(m.previewSize, c.previewSize);
    }
}

// Cameras and phones that write DNG themselves keep the image in the first IFD and give it no SubIFDs:
// the whole file is filed, measured as a raw SubIFD is.
TEST(TiffRawSizing, DngWithItsImageInTheFirstIfd) {
    for (const bool little : {true, false}) {
        for (const bool tiles : {false, true}) {
            for (const uint32_t xmp : {0u, 3000u}) {
                SCOPED_TRACE(testing::Message() << (little ? "II" : "MM") << (tiles ? " tiles" : " strip") << " XMP " << xmp);
                const Measured m = measure(T::Dng, cameraDng(little, tiles, 0x1000, 0x3E0000, xmp));
                EXPECT_EQ(m.length, 0x3E1000 + 512);
                EXPECT_FALSE(m.preview);
                EXPECT_EQ(measure(T::Dng, cameraDng(little, tiles, 0x1000, 0x3E0000, xmp), {}, true).length, 0u);
            }
        }
    }
    // XMP counts four times its bytes; the larger of that and the image end is taken.
    EXPECT_EQ(measure(T::Dng, cameraDng(true, false, 0x1000, 0x800, 3000)).length, 4 * 3000 + 512);
    // An image before the directory, or one whose tile offsets lie beyond 150 MiB, leaves the estimate
    // from the directory: its end, then the XMP packet after it.
    const uint64_t directoryEnd = 0x10000 + 12 * 8 + 6;
    EXPECT_EQ(measure(T::Dng, cameraDng(true, false, 0x100, 0xF000, 1000, 0x10000)).length, directoryEnd + 1000 + 512);
    Bytes farTiles = cameraDng(true, true, 0x1000, 0x3E0000, 1000, 0x10000);
    const uint32_t tileOffsetsField = 0x10000 + 2 + 12 * 4 + 8;  // the fifth entry, 324, holds the array's offset
    ASSERT_EQ(farTiles[0x10000 + 2 + 12 * 4], 324 & 0xFF);
    farTiles[tileOffsetsField + 3] = 0x0A;  // 0x0A00xxxx: beyond 150 MiB
    EXPECT_EQ(measure(T::Dng, farTiles).length, directoryEnd + 4 * 4 + 1000 + 512);
}

TEST(TiffRawSizing, CraftedCountsAndOffsetsStayBounded) {
    // Strip arrays whose last element lies gigabytes away, or wraps: read as zeros or refused, never outside a buffer.
    for (uint32_t count : {2u, 65535u, 0x40000000u, 0xFFFFFFFFu}) {
        for (uint32_t at : {0u, 0x9600001u, 0xFFFFFFF0u}) {
            for (const bool nikon : {true, false}) {
                TiffBuilder b(!nikon);
                const uint32_t sub = b.placeIfd({TiffEntry{273, 4, count, at}, TiffEntry{279, 4, count, at}, b.short1(259, 1)});
                b.firstIfd(b.placeIfd({b.ascii(271, nikon ? "NIKON" : "Hasselblad"), TiffEntry{330, 4, 1, sub}}));
                EXPECT_LE(measure(nikon ? T::Nef : T::Threefr, b.bytes()).length, 0xC800000u + 512) << nikon << count << " " << at;
            }
        }
    }
    // A SubIFD list of 65,534 entries pointing at zeros is refused at its first entry.
    TiffBuilder b;
    b.firstIfd(b.placeIfd({b.ascii(271, "NIKON"), TiffEntry{330, 4, 65534, 0x30000}}));
    EXPECT_EQ(measure(T::Nef, b.bytes()).length, 0u);
}

// One scan of a disk holding raw files of many makers, real TIFF files and the CRW, MRW, RAF and X3F layouts:
// each file in its folder with its name and length, each preview under "RAW Jpg Files".
TEST(TiffRawSizing, ScanFilesRawFilesAndTheirPreviews) {
    const Bytes jpeg = fixture("jpeg/exif.jpg");
    Bytes crwFile = crw(true, 0x100000 + 4000, 1000, 5000);
    crwFile[1000] = 0xFF, crwFile[1001] = 0xD8;
    const struct {
        uint64_t sector;
        Bytes file;
        const char* folder;
        const char* name;
        uint64_t size;
        uint64_t previewAt, previewSize;  // size 0: no preview filed
    } files[] = {
        {0x10, arwA700(0x8000, 0x40000, 0x1F00, 0x6000), "ARW Files", "file1.arw", 0x48000, 0x1F00, 0x6000},
        {0x100, cr2(0x4321, 0x30000, {0x100000}, {0x400000}), "CR2 Files", "file1.cr2", 0x500000, 0x4321, 0x30000},
        // NEF with several SubIFDs: the last preview seen wins.
        {0x200, nikon({{{}, {}, 0x2201, 0x4000}, {{}, {}, 0x8000, 0x20000}, {{0x30000}, {0x900000}}}), "NIKON (NEF) Files", "file1.nef",
         0x930000 + 512, 0x8000, 0x20000},
        {0x300, nikon({{{0x1000}, {0x8000}}, {{}, {}, 0x20000, 0x30000}}, true), "NIKON (NRW) Files", "file1.nrw", 0x39000 + 512, 0x20000,
         0x30000},
        {0x400, panasonic("Panasonic", 0x8000, 0x200000, 0x1001, jpeg), "Panasonic Files", "file1.raw", 0x208000 + 512, 0x1001, jpeg.size()},
        {0x600, dng("Camera", 0x3000, 0x80000, 0x90101, 0x5000), "DNG Files", "file1.dng", 0x88000 + 512, 0x90101, 0x5000},
        // ImageMagick's files (strips, tiles, pages, big-endian), sized by the plain-TIFF rule: header,
        // 12n + 6 per IFD, out-of-line values, strip or tile byte counts, 512 bytes of slack.
        {0x700, fixture("tiff/strips.tiff"), "TIFF Files", "file1.tiff", 2246, 0, 0},
        {0x710, fixture("tiff/tiles.tiff"), "TIFF Files", "file2.tiff", 7754, 0, 0},
        {0x730, fixture("tiff/pages.tiff"), "TIFF Files", "file3.tiff", 3110, 0, 0},
        {0x740, fixture("tiff/bigendian.tiff"), "TIFF Files", "file4.tiff", 1010, 0, 0},
        // Sensor 30 × 20 stored as 12 bits, after the image data offset and the header.
        {0x800, mrw(1000, 20, 30, 'Y'), "MRW Files", "file1.mrw", 900 + 1008 + 512, 0, 0},
        {0x810, raf(1300, 2000, 5000, 100000, 7), "RAF Files", "file1.raf", 105000 + 512, 1300, 2000},
        // The directory's end: 16 bytes and 12 per entry.
        {0x820, fovb(6000, 3, 3000), "X3F Files", "file1.x3f", 6000 + 16 + 36, 260, 3000},
        {0x840, crwFile, "CRW Files", "file1.crw", crwFile.size(), 1000, 5000},
    };
    // Large enough for the largest size claimed, so that none is cut at the end.
    TempImage image(10 * 1024 * 1024);
    for (const auto& f : files) image.write(f.sector * 512, f.file);
    const ScanResult result = scanImage(image.path(), selectionOf({T::Arw, T::Cr2, T::Nef, T::Nrw, T::RawPanasonic, T::Dng, T::Tiff, T::Mrw,
                                                                   T::Raf, T::X3f, T::Crw}));
    const FoundNode* previews = folderNamed(*result.root, "RAW Jpg Files");
    ASSERT_NE(previews, nullptr);
    std::size_t preview = 0;
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const FoundNode* file = fileAt(*result.root, f.folder, f.sector);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->fileSize(), f.size);
        EXPECT_EQ(file->fileName(), f.name);
        if (!f.previewSize) continue;
        ASSERT_LT(preview, previews->children().size());
        const FoundNode& leaf = *previews->children()[preview++];
        EXPECT_EQ(leaf.fileName(), "file - Raw Jpg" + std::to_string(preview) + ".jpg");
        EXPECT_EQ(leaf.sectorNumber(), (f.sector * 512 + f.previewAt) / 512);
        EXPECT_EQ(uint64_t(leaf.extraBytesToMove()), (f.sector * 512 + f.previewAt) % 512);
        EXPECT_EQ(leaf.fileSize(), f.previewSize);
    }
    // Nothing else is filed: no raw file falls to "TIFF Files", no sector inside a file is taken.
    EXPECT_EQ(filesFiled(*result.root), std::size(files) + preview);
}

// Camera DNGs between JPEGs on a card of 4 KiB clusters: each file is filed whole, the DNGs with their images.
TEST(TiffRawSizing, ScanFilesCameraDngsWholeBetweenJpegs) {
    const Bytes jpeg = fixture("jpeg/exif.jpg");
    const Bytes strip = cameraDng(false, false, 0x400, 0x61234, 2000), tiles = cameraDng(true, true, 0x800, 0x50000);
    const struct {
        uint64_t sector;
        const Bytes* file;
        const char* folder;
        uint64_t size;
    } files[] = {
        {8, &jpeg, "JPG Files", jpeg.size() + 512},
        {16, &strip, "DNG Files", 0x61634 + 512},
        {800, &jpeg, "JPG Files", jpeg.size() + 512},
        {808, &tiles, "DNG Files", 0x50800 + 512},
        {1456, &jpeg, "JPG Files", jpeg.size() + 512},
    };
    TempImage image(1024 * 1024);
    for (const auto& f : files) image.write(f.sector * 512, *f.file);
    const ScanResult result = scanImage(image.path(), selectionOf({T::Jpg, T::Dng, T::Cr2, T::Tiff}));
    for (const auto& f : files) {
        SCOPED_TRACE(f.sector);
        const FoundNode* file = fileAt(*result.root, f.folder, f.sector);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->fileSize(), f.size);
    }
    EXPECT_EQ(filesFiled(*result.root), std::size(files));
}

}  // namespace
}  // namespace pelorin::test
