// A used camera card, made at benchmark time, scanned and put back together.
//
//   pelorin-card-bench [--image PATH] [--keep] [--seed N] [--fat16] [--no-format]
//
// A 1 GiB FAT32 card with 32 KiB clusters goes through five sessions of
// shooting 3-10 MB photos (real JPEGs, each a different picture, a share with
// restart markers, a few progressive) and a few MP4/MOV videos of 20-80 MB,
// with photos deleted in the camera between sessions, until it has been
// filled twice; then it is quick-formatted. The files still lying on it,
// whole or in pieces, are the ground truth: the bench scans the card (every
// type ticked), puts split files back together, and counts the files that
// come back exactly, with both times and a plain read of the image beside them.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>  // after <cstdio>, which it needs

#include "engine/Scanning.h"
#include "engine/Source.h"
#include "reassembly/Reassembly.h"
#include "recognisers/Registry.h"
#include "support/CameraCard.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
using pelorin::test::CameraCard;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct QuietController final : pelorin::ScanController {
    bool isTicked(pelorin::FileType type) const override { return pelorin::availableTypes()[pelorin::index(type)]; }
    void progressChanged() override {}
    void finished(const pelorin::ScanOutcome&) override {}
    void notify(const pelorin::Notice& notice) override {
        std::fprintf(stderr, "the scan could not read %s\n", notice.path.c_str());
    }
};

// ---- Photos -----------------------------------------------------------------

struct PhotoStyle {
    bool restartMarkers = false;
    bool progressive = false;
    bool subsample420 = false;  // otherwise 4:2:2, as most cameras write
    int quality = 93;
};

Bytes encodeJpeg(const Bytes& rgb, int width, int height, const PhotoStyle& style, const Bytes& exif) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, style.quality, TRUE);
    info.comp_info[0].h_samp_factor = 2;
    info.comp_info[0].v_samp_factor = style.subsample420 ? 2 : 1;
    if (style.restartMarkers) info.restart_interval = 4;  // in MCUs, as cameras set it
    if (style.progressive) jpeg_simple_progression(&info);
    info.write_JFIF_header = exif.empty() ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    if (!exif.empty()) jpeg_write_marker(&info, JPEG_APP0 + 1, exif.data(), unsigned(exif.size()));
    for (int y = 0; y < height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + std::size_t(y) * std::size_t(width) * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes jpeg(out, out + outSize);
    std::free(out);
    return jpeg;
}

// Grain to add to pictures: random values from -noise to noise, read at a
// random place for every row, so that painting costs no random draw per pixel.
class Grain {
public:
    Grain(int noise, uint64_t seed) : values(std::size_t(1) << 24) {
        uint64_t state = seed | 1;
        for (int8_t& value : values) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            value = int8_t(int((state >> 24) % uint64_t(2 * noise + 1)) - noise);
        }
    }
    const int8_t* row(uint64_t pick, std::size_t length) const {
        return values.data() + pick % (values.size() - length);
    }

private:
    std::vector<int8_t> values;
};

// A picture of smooth gradients, soft waves and a few discs, with grain:
// different for every seed, and about as hard to compress as a photo.
Bytes paint(int width, int height, std::mt19937_64& random, const Grain& grain) {
    std::uniform_real_distribution<float> unit(0, 1);
    float corner[4][3];
    for (auto& colour : corner)
        for (float& channel : colour) channel = 30 + 200 * unit(random);
    struct Disc {
        float x, y, r, colour[3];
    };
    std::vector<Disc> discs(6 + random() % 10);
    for (Disc& disc : discs)
        disc = {unit(random) * width, unit(random) * height, (0.03f + 0.2f * unit(random)) * width,
                {255 * unit(random), 255 * unit(random), 255 * unit(random)}};
    const float waveX = 2 + 20 * unit(random), waveY = 2 + 20 * unit(random), phase = 6.28f * unit(random);
    // The colour of the top and bottom rows and the waves across, column by column.
    std::vector<float> top(std::size_t(width) * 3), bottom(top.size()), across(top.size()), line(top.size());
    for (int x = 0; x < width; ++x) {
        const float u = float(x) / float(width);
        for (int c = 0; c < 3; ++c) {
            top[std::size_t(x) * 3 + std::size_t(c)] = corner[0][c] * (1 - u) + corner[1][c] * u;
            bottom[std::size_t(x) * 3 + std::size_t(c)] = corner[2][c] * (1 - u) + corner[3][c] * u;
            across[std::size_t(x) * 3 + std::size_t(c)] = std::sin(waveX * u * 6.28f + float(c));
        }
    }
    Bytes rgb(std::size_t(width) * std::size_t(height) * 3);
    uint64_t pick = random();
    for (int y = 0; y < height; ++y) {
        const float v = float(y) / float(height);
        const float wave = 25 * std::sin(waveY * v * 6.28f + phase);
        for (std::size_t i = 0; i < line.size(); ++i) line[i] = top[i] * (1 - v) + bottom[i] * v + wave * across[i];
        for (const Disc& disc : discs) {
            const float dy = float(y) - disc.y;
            if (dy * dy >= disc.r * disc.r) continue;
            const float half = std::sqrt(disc.r * disc.r - dy * dy);
            const int from = std::max(0, int(disc.x - half)), to = std::min(width, int(disc.x + half));
            for (int x = from; x < to; ++x)
                for (int c = 0; c < 3; ++c) {
                    float& channel = line[std::size_t(x) * 3 + std::size_t(c)];
                    channel = (channel + disc.colour[c]) / 2;
                }
        }
        pick = pick * 6364136223846793005ULL + 1442695040888963407ULL;
        const int8_t* noise = grain.row(pick >> 20, line.size());
        uint8_t* out = rgb.data() + std::size_t(y) * line.size();
        for (std::size_t i = 0; i < line.size(); ++i) out[i] = uint8_t(std::clamp(int(line[i]) + noise[i], 0, 255));
    }
    return rgb;
}

// An EXIF segment as a camera writes it: make and model, and a thumbnail
// (a JPEG of its own, with its own end-of-image marker) in the second IFD.
Bytes exifWithThumbnail(const Bytes& thumbnail) {
    Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&tiff](uint32_t v) { tiff.push_back(uint8_t(v)), tiff.push_back(uint8_t(v >> 8)); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        put16(tag), put16(type), put32(count), put32(value);
    };
    const char make[] = "Pelorin";  // 8 bytes with its NUL, stored after the IFDs
    const uint32_t ifd1 = 8 + 2 + 12 + 4;
    const uint32_t makeAt = ifd1 + 2 + 3 * 12 + 4;
    const uint32_t thumbAt = makeAt + sizeof make;
    put16(1), entry(0x010F, 2, sizeof make, makeAt), put32(ifd1);
    put16(3), entry(0x0103, 3, 1, 6), entry(0x0201, 4, 1, thumbAt), entry(0x0202, 4, 1, uint32_t(thumbnail.size())), put32(0);
    tiff.insert(tiff.end(), make, make + sizeof make);
    tiff.insert(tiff.end(), thumbnail.begin(), thumbnail.end());
    Bytes segment = {'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    return segment;
}

// The photos of the card's life, each a different picture, made a few ahead
// on other threads. The n-th photo depends only on the seed and n.
class PhotoMaker {
public:
    explicit PhotoMaker(uint64_t seed) : seed(seed), grain(64, seed) {
        for (int i = 0; i < kAhead; ++i) ahead.push_back(std::async(std::launch::async, [this, n = made++] { return make(n); }));
    }

    Bytes next() {
        Bytes photo = ahead.front().get();
        ahead.pop_front();
        ahead.push_back(std::async(std::launch::async, [this, n = made++] { return make(n); }));
        return photo;
    }

private:
    static constexpr int kAhead = 2;
    static constexpr double kBytesPerPixel = 1.1;  // what this grain costs at these qualities

    // A photo of 3 to 10 MB: a share with restart markers as most cameras
    // write them, a few progressive, some 4:2:0, the rest 4:2:2.
    Bytes make(uint64_t n) const {
        std::mt19937_64 random(seed * 0x9E3779B97F4A7C15ULL + n);
        const uint64_t roll = random() % 100;
        const PhotoStyle style{roll < 55, roll >= 96, roll % 3 == 0, 92 + int(random() % 4)};
        const double wanted = std::uniform_real_distribution<double>(3.6e6, 9.8e6)(random);
        for (double pixels = wanted / kBytesPerPixel;;) {
            const int width = int(std::sqrt(pixels * 4 / 3)) / 16 * 16;
            const int height = width * 3 / 4;
            const Bytes thumbnail = encodeJpeg(paint(160, 120, random, grain), 160, 120, {}, {});
            Bytes jpeg = encodeJpeg(paint(width, height, random, grain), width, height, style, exifWithThumbnail(thumbnail));
            if (jpeg.size() >= 3'000'000 && jpeg.size() <= 10'000'000) return jpeg;
            pixels *= wanted / double(jpeg.size());
        }
    }

    uint64_t seed;
    Grain grain;
    uint64_t made = 0;
    std::deque<std::future<Bytes>> ahead;
};

// ---- Videos -----------------------------------------------------------------

void putBig32(Bytes& bytes, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = uint8_t(value >> (24 - 8 * i));
}

Bytes box(const char* type, const Bytes& payload) {
    Bytes bytes(8 + payload.size());
    putBig32(bytes, 0, uint32_t(bytes.size()));
    std::copy(type, type + 4, bytes.begin() + 4);
    std::copy(payload.begin(), payload.end(), bytes.begin() + 8);
    return bytes;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes words(std::initializer_list<uint32_t> values) {
    Bytes bytes(values.size() * 4);
    std::size_t at = 0;
    for (uint32_t value : values) putBig32(bytes, (at++) * 4, value);
    return bytes;
}

// ftyp, then mdat of random "frames" in 256 KiB chunks, then the index
// (moov) whose chunk offsets say where each chunk lies in the file.
Bytes makeVideo(uint64_t size, bool quickTime, std::mt19937_64& random) {
    constexpr uint32_t kChunk = 256 * 1024;
    const Bytes qt{'q', 't', ' ', ' '}, isom{'i', 's', 'o', 'm'}, mp41{'m', 'p', '4', '1'};
    const Bytes ftyp = quickTime ? box("ftyp", concat({qt, words({0x200}), qt}))
                                 : box("ftyp", concat({isom, words({0x200}), isom, mp41}));
    const uint32_t chunks = uint32_t(size / kChunk);
    Bytes stco = words({0, chunks}), stsz = words({0, kChunk, chunks});
    for (uint32_t i = 0; i < chunks; ++i) {
        const Bytes offset = words({uint32_t(ftyp.size() + 8 + uint64_t(i) * kChunk)});
        stco.insert(stco.end(), offset.begin(), offset.end());
    }
    // One MPEG-4 visual sample entry: 1920 x 1080, 72 dpi, one frame per sample, 24-bit colour.
    Bytes sampleEntry = concat({words({0, 1, 0, 0, 0, 0, (1920u << 16) | 1080u, 0x480000, 0x480000, 0}), Bytes{0, 1}});
    sampleEntry.resize(sampleEntry.size() + 32);  // no compressor name
    sampleEntry.insert(sampleEntry.end(), {0, 0x18, 0xFF, 0xFF});
    const Bytes stbl = box("stbl", concat({box("stsd", concat({words({0, 1}), box("mp4v", sampleEntry)})),
                                           box("stts", words({0, 1, chunks, 1000})),
                                           box("stsc", words({0, 1, 1, 1, 1})), box("stsz", stsz), box("stco", stco)}));
    const Bytes dinf = box("dinf", box("dref", concat({words({0, 1}), box("url ", words({1}))})));
    const Bytes hdlr = box("hdlr", concat({words({0, 0}), Bytes{'v', 'i', 'd', 'e'}, words({0, 0, 0}), Bytes{0}}));
    const Bytes mdhd = box("mdhd", words({0, 0, 0, 25000, chunks * 1000, 0x55C40000}));
    const Bytes minf = box("minf", concat({box("vmhd", words({1, 0, 0})), dinf, stbl}));
    const Bytes trak = box("trak", concat({box("tkhd", words({3, 0, 0, 1, 0, chunks * 1000, 0, 0, 0, 0x10000, 0, 0, 0,
                                                               0x10000, 0, 0, 0, 0x40000000, 1920u << 16, 1080u << 16})),
                                           box("mdia", concat({mdhd, hdlr, minf}))}));
    const Bytes mvhd = box("mvhd", words({0, 0, 0, 1000, chunks * 40, 0x10000, 0x1000000, 0, 0, 0x10000, 0, 0, 0,
                                          0x10000, 0, 0, 0, 0x40000000, 0, 0, 0, 0, 0, 0, 2}));
    const Bytes moov = box("moov", concat({mvhd, trak}));
    Bytes video = ftyp;
    const Bytes mdatHeader = words({uint32_t(8 + uint64_t(chunks) * kChunk), 0x6D646174});
    video.insert(video.end(), mdatHeader.begin(), mdatHeader.end());
    const std::size_t payloadStart = video.size();
    video.resize(payloadStart + std::size_t(chunks) * kChunk);
    uint64_t state = random() | 1;
    for (std::size_t at = payloadStart; at + 8 <= video.size(); at += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(video.data() + at, &state, 8);
    }
    video.insert(video.end(), moov.begin(), moov.end());
    return video;
}

// ---- The card's life ----------------------------------------------------------

struct Card {
    std::unique_ptr<CameraCard> card;
    std::vector<CameraCard::File> onCard;  // the files lying on it when it was formatted
    int photosWritten = 0, videosWritten = 0;
    uint64_t bytesWritten = 0;
};

Card useCard(uint64_t seed, pelorin::test::FatType type, bool format) {
    Card result;
    result.card = std::make_unique<CameraCard>(uint64_t(1) << 30, 32768, type);
    CameraCard& card = *result.card;
    PhotoMaker photos(seed);
    std::mt19937_64 random(seed);
    int counter = 0;
    std::vector<std::vector<std::string>> photosBySession(1);
    std::vector<std::string> videos;

    // Shoots until `bytes` more have been written or the card is full; the
    // videos at random among the photos, or first.
    auto shoot = [&](uint64_t bytes, int videosToShoot, bool videosFirst = false) {
        const uint64_t stopAt = result.bytesWritten + bytes;
        int photosShot = 0, videosShot = 0;
        bool full = false;
        while (result.bytesWritten < stopAt) {
            const bool video = videosToShoot > 0 && (videosFirst || random() % 10 == 0);
            const bool quickTime = random() % 2 == 0;
            char name[32];
            if (video)
                std::snprintf(name, sizeof name, "MVI_%04d.%s", ++counter % 10000, quickTime ? "MOV" : "MP4");
            else
                std::snprintf(name, sizeof name, "IMG_%04d.JPG", ++counter % 10000);
            const Bytes file = video ? makeVideo(20'000'000 + random() % 60'000'000, quickTime, random) : photos.next();
            if (!card.write(name, file)) {  // no room: a video gives way to photos, a photo ends the session
                if (video) {
                    videosToShoot = 0;
                    continue;
                }
                full = true;
                break;
            }
            result.bytesWritten += file.size();
            (video ? videos : photosBySession.back()).push_back(name);
            ++(video ? result.videosWritten : result.photosWritten);
            videosToShoot -= video;
            ++(video ? videosShot : photosShot);
        }
        std::fprintf(stderr, "  session %zu: %d photos, %d videos%s\n", photosBySession.size(), photosShot, videosShot,
                     full ? ", until the card was full" : "");
        photosBySession.emplace_back();
    };
    auto deleteSome = [&](std::vector<std::string>& names, std::size_t count) {
        for (std::size_t i = 0; i < count && !names.empty(); ++i) {
            const std::size_t pick = random() % names.size();
            card.erase(names[pick]);
            names.erase(names.begin() + long(pick));
        }
    };

    const uint64_t capacity = uint64_t(card.freeClusters()) * card.clusterSize();
    shoot(capacity * 70 / 100, 1);
    deleteSome(photosBySession[0], 8);
    shoot(capacity, 1);  // until full
    // The first session was copied off: all but a few favourites are deleted.
    deleteSome(photosBySession[0], photosBySession[0].size() - 12);
    deleteSome(videos, 1);
    shoot(capacity, 2);  // full again
    deleteSome(photosBySession[2], 12);
    deleteSome(videos, 1);
    shoot(capacity / 16, 1, true);
    deleteSome(photosBySession[1], 7);
    deleteSome(photosBySession[2], 5);
    shoot(capacity, 1, true);  // until full
    result.onCard = card.files();
    if (format) card.quickFormat();
    return result;
}

// "IMG_0001JPG" as a directory entry holds it: "IMG_0001.JPG".
std::string displayName(const std::string& entryName) {
    auto trimmed = [](std::string text) { return text.erase(text.find_last_not_of(' ') + 1); };
    return trimmed(entryName.substr(0, 8)) + "." + trimmed(entryName.substr(8));
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Pelorin on a used camera card: the scan, then split files put back together"};
    std::string imagePath = (std::filesystem::temp_directory_path() / "pelorin-card-bench.img").string();
    bool keep = false;
    uint64_t seed = 20261207;
    app.add_option("--image", imagePath, "Where to write the card image")->capture_default_str();
    app.add_flag("--keep", keep, "Keep the image afterwards");
    app.add_option("--seed", seed, "Seed of the card's life")->capture_default_str();
    bool fat16 = false, noFormat = false;
    app.add_flag("--fat16", fat16, "FAT16, as SD cards of 2 GB and less are formatted, rather than FAT32");
    app.add_flag("--no-format", noFormat, "Leave out the quick format, so that a FAT reader (mtools) lists the files");
    CLI11_PARSE(app, argc, argv);

    auto start = Clock::now();
    Card used = useCard(seed, fat16 ? pelorin::test::FatType::Fat16 : pelorin::test::FatType::Fat32, !noFormat);
    CameraCard& card = *used.card;
    card.save(imagePath);
    const double making = secondsSince(start);
    const Bytes& image = card.image();

    // The ground truth.
    int contiguous = 0;
    std::map<std::size_t, int> splitPhotosByPieces;
    std::vector<std::size_t> splitVideos;  // their pieces
    for (const auto& file : used.onCard) {
        const std::size_t pieces = card.runsOf(file).size();
        if (pieces == 1)
            ++contiguous;
        else if (file.name.ends_with("JPG"))
            ++splitPhotosByPieces[pieces];
        else
            splitVideos.push_back(pieces);
    }
    const std::size_t split = used.onCard.size() - std::size_t(contiguous);
    std::fprintf(stderr, "%s: 1 GiB %s card, 32 KiB clusters, seed %llu, made in %.1f s\n", imagePath.c_str(),
                 fat16 ? "FAT16" : "FAT32", static_cast<unsigned long long>(seed), making);
    std::fprintf(stderr, "  written over its life: %d photos, %d videos, %.2f GB%s\n", used.photosWritten,
                 used.videosWritten, double(used.bytesWritten) / 1e9, noFormat ? "" : "; then quick-formatted");
    std::fprintf(stderr, "  lying on it: %zu files, %d contiguous, %zu split:", used.onCard.size(), contiguous, split);
    for (const auto& [pieces, count] : splitPhotosByPieces) std::fprintf(stderr, " %d photos in %zu pieces,", count, pieces);
    std::fprintf(stderr, " %zu videos (in", splitVideos.size());
    for (std::size_t pieces : splitVideos) std::fprintf(stderr, " %zu", pieces);
    std::fprintf(stderr, " pieces)\n");

    // A plain read, then the scan, then the pass.
    auto source = pelorin::FileSource::open(imagePath);
    auto buffer = std::make_unique<uint8_t[]>(65536);
    for (uint64_t offset = 0; source->read(offset, {buffer.get(), 65536}).bytes > 0;) offset += 65536;  // warms the cache
    start = Clock::now();
    for (uint64_t offset = 0; source->read(offset, {buffer.get(), 65536}).bytes > 0;) offset += 65536;
    const double plainRead = secondsSince(start);

    pelorin::ScanContext ctx;
    ctx.sourcePath = imagePath;
    ctx.source = source.get();
    ctx.sectorSize = 512;
    ctx.sectorCount = image.size() / 512;
    QuietController controller;
    pelorin::Scanning scanning(ctx, controller, pelorin::registry());
    start = Clock::now();
    scanning.run();
    const double scanTime = secondsSince(start);
    std::unique_ptr<pelorin::FoundNode> root = scanning.takeRoot();
    start = Clock::now();
    const pelorin::ReassemblyOutcome outcome = pelorin::reassembleSplitFiles(*root, *source, 512);
    const double reassemblyTime = secondsSince(start);

    // What came back: a file counts when the bytes the tree points at are the
    // file's own (for a file found whole, followed by no more than the slack
    // its format adds; a reassembled file to the byte).
    std::map<uint64_t, const pelorin::FoundNode*> foundAt;
    for (const auto& folder : root->children())
        for (const auto& file : folder->children())
            foundAt.emplace(pelorin::byteRunsOf(*file, 512).front().offset, file.get());
    int contiguousBack = 0, splitBack = 0, splitExact = 0, splitPhotosBack = 0;
    std::vector<std::string> missed;
    for (const auto& file : used.onCard) {
        const auto runs = card.runsOf(file);
        const auto found = foundAt.find(runs.front().offset);
        bool whole = false, exact = false;
        if (found != foundAt.end()) {
            const Bytes truth = card.contentsOf(file);
            Bytes got;
            for (const pelorin::ByteRun& run : pelorin::byteRunsOf(*found->second, 512)) {
                if (got.size() >= truth.size() + 512 || run.offset + run.length > image.size()) break;
                got.insert(got.end(), image.begin() + long(run.offset), image.begin() + long(run.offset + run.length));
            }
            whole = got.size() >= truth.size() && got.size() <= truth.size() + 512 &&
                    std::equal(truth.begin(), truth.end(), got.begin());
            exact = got == truth;
        }
        if (runs.size() == 1) {
            contiguousBack += whole;
        } else {
            splitBack += whole;
            splitExact += exact;
            splitPhotosBack += whole && file.name.ends_with("JPG");
            if (!whole) missed.push_back(displayName(file.name) + " (" + std::to_string(runs.size()) + " pieces)");
        }
    }

    const double megabytes = double(image.size()) / 1e6;
    std::fprintf(stderr, "\n%-34s %8.2f s  %6.0f MB/s\n", "plain read (64 KiB preads)", plainRead, megabytes / plainRead);
    std::fprintf(stderr, "%-34s %8.2f s  %6.0f MB/s  %.2f of plain read, %llu files found\n", "scan, all available types",
                 scanTime, megabytes / scanTime, plainRead / scanTime,
                 static_cast<unsigned long long>(ctx.filesFound));
    std::fprintf(stderr, "%-34s %8.2f s  %u reassembled, %u photos broken as found, cluster %u\n", "reassembly",
                 reassemblyTime, outcome.filesReassembled, outcome.filesBroken, outcome.clusterSize);
    std::fprintf(stderr, "contiguous files whole:            %d of %d\n", contiguousBack, contiguous);
    std::fprintf(stderr, "split files whole:                 %d of %zu (%d to the byte; photos %d of %zu)\n", splitBack, split,
                 splitExact, splitPhotosBack, split - splitVideos.size());
    if (!missed.empty()) {
        std::fprintf(stderr, "split files not whole:");
        for (const std::string& name : missed) std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
    }
    if (!keep) std::filesystem::remove(imagePath);
    return 0;
}
