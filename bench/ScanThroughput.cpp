// Scan throughput against a plain sequential read of the same image, in one run.
//
//   pelorin-bench [--image PATH] [--packed-image PATH] [--e01 BASE] [--size-mib N] [--runs N]
//
// Three images, all kept for the next run: one of random bytes, in which
// nothing is found, one packed with real MP3, MP4 and PNG files at sector
// boundaries with random bytes between them, and the random one again as an
// Expert Witness image (BASE.E01, made by ewfacquirestream when it is
// installed). Every measurement is taken with a warm page cache, best of --runs.


#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>

#include "engine/OpenSource.h"
#include "engine/Scanning.h"
#include "engine/Source.h"
#include "recognisers/Registry.h"

namespace {

using Clock = std::chrono::steady_clock;

struct QuietController final : pelorin::ScanController {
    explicit QuietController(pelorin::TypeSelection ticked_) : ticked(ticked_) {}
    bool isTicked(pelorin::FileType type) const override { return ticked[pelorin::index(type)]; }
    void progressChanged() override {}
    void finished(const pelorin::ScanOutcome&) override {}
    void notify(const pelorin::Notice& notice) override {
        std::fprintf(stderr, "the scan could not read %s\n", notice.path.c_str());
    }
    pelorin::TypeSelection ticked;
};

void makeRandomImage(const std::string& path, uint64_t bytes) {
    if (std::filesystem::exists(path) && std::filesystem::file_size(path) == bytes) return;
    std::fprintf(stderr, "writing %s (%llu MiB of random bytes)...\n", path.c_str(),
                 static_cast<unsigned long long>(bytes >> 20));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<uint64_t> block(1 << 17);
    uint64_t state = 0x9E3779B97F4A7C15ULL;
    for (uint64_t written = 0; written < bytes; written += block.size() * 8) {
        for (auto& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
    }
}

// Real files back to back, each at a sector boundary after a few random sectors.
void makePackedImage(const std::string& path, uint64_t bytes) {
    if (std::filesystem::exists(path) && std::filesystem::file_size(path) == bytes) return;
    std::vector<std::vector<char>> files;
    for (const char* folder : {"mp3", "iso", "png"}) {
        const auto dir = std::filesystem::path(PELORIN_FIXTURES_DIR) / folder;
        if (!std::filesystem::is_directory(dir)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const auto ext = entry.path().extension();
            if (ext != ".mp3" && ext != ".mp4" && ext != ".png") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    std::fprintf(stderr, "writing %s (%llu MiB packed with %zu kinds of real files)...\n", path.c_str(),
                 static_cast<unsigned long long>(bytes >> 20), files.size());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    uint64_t state = 0x2545F4914F6CDD1DULL;
    auto random = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::vector<char> gap(8 * 512);
    uint64_t written = 0;
    for (std::size_t i = 0; written < bytes; ++i) {
        const std::size_t gapBytes = (random() % 8 + 1) * 512;
        for (std::size_t j = 0; j < gapBytes; ++j) gap[j] = static_cast<char>(random() >> 32);
        out.write(gap.data(), static_cast<std::streamsize>(std::min<uint64_t>(gapBytes, bytes - written)));
        written += std::min<uint64_t>(gapBytes, bytes - written);
        if (files.empty() || written >= bytes) continue;
        const auto& file = files[i % files.size()];
        const uint64_t padded = (file.size() + 511) / 512 * 512;
        const uint64_t take = std::min<uint64_t>(file.size(), bytes - written);
        out.write(file.data(), static_cast<std::streamsize>(take));
        const uint64_t pad = std::min<uint64_t>(padded - file.size(), bytes - written - take);
        out.write(gap.data(), static_cast<std::streamsize>(pad));
        written += take + pad;
    }
}

// The random image as an Expert Witness image, uncompressed (random bytes do
// not compress) and in one segment. False when it cannot be made.
bool makeEwfImage(const std::string& base, const std::string& rawImage, uint64_t bytes) {
    const std::string path = base + ".E01";
    if (auto source = pelorin::openSource(path); source && source->size() == bytes) return true;
    if (std::system("command -v ewfacquirestream >/dev/null 2>&1") != 0) return false;
    std::fprintf(stderr, "writing %s with ewfacquirestream...\n", path.c_str());
    std::filesystem::remove(path);
    const std::string command = "ewfacquirestream -q -c none -S 7GiB -t '" + base + "' < '" + rawImage + "' >/dev/null";
    return std::system(command.c_str()) == 0;
}

// Raw images are opened as the tool has always opened them; the Expert
// Witness image through the same factory the tool uses.
std::unique_ptr<pelorin::Source> open(const std::string& path) {
    if (path.ends_with(".E01")) return pelorin::openSource(path);
    return pelorin::FileSource::open(path);
}

// Every byte of the source in 64 KiB reads, as the sector loop reads it.
double plainRead(const std::string& path) {
    const auto start = Clock::now();
    auto source = open(path);
    auto buffer = std::make_unique<uint8_t[]>(65536);
    for (uint64_t offset = 0; source;) {
        const std::size_t n = source->read(offset, {buffer.get(), 65536}).bytes;
        if (n == 0) break;
        offset += n;
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double scan(const std::string& path, uint64_t bytes, pelorin::TypeSelection ticked, uint64_t& found) {
    auto source = open(path);
    pelorin::ScanContext ctx;
    ctx.sourcePath = path;
    ctx.source = source.get();
    ctx.sectorSize = 512;
    ctx.sectorCount = bytes / 512;
    QuietController controller(ticked);
    pelorin::Scanning scanning(ctx, controller, pelorin::registry());
    const auto start = Clock::now();
    scanning.run();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    found = ctx.filesFound;
    return seconds;
}

double best(int runs, const std::function<double()>& measure) {
    double fastest = 1e30;
    for (int i = 0; i < runs; ++i) fastest = std::min(fastest, measure());
    return fastest;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Pelorin scan throughput against a plain read"};
    std::string image = "pelorin-bench.img";
    std::string packedImage = "pelorin-bench-packed.img";
    std::string ewfBase = "pelorin-bench";
    uint64_t sizeMiB = 1024;
    int runs = 3;
    app.add_option("--image", image, "Image file to make (if needed) and scan")->capture_default_str();
    app.add_option("--packed-image", packedImage, "Image packed with real files to make (if needed) and scan")
        ->capture_default_str();
    app.add_option("--e01", ewfBase, "Expert Witness image to make (if needed) and scan, without .E01")
        ->capture_default_str();
    app.add_option("--size-mib", sizeMiB, "Image size in MiB")->capture_default_str();
    app.add_option("--runs", runs, "Runs of each measurement; the best counts")->capture_default_str();
    CLI11_PARSE(app, argc, argv);

    const uint64_t bytes = sizeMiB << 20;
    makeRandomImage(image, bytes);
    plainRead(image);  // warm the page cache

    const double megabytes = double(bytes) / 1e6;
    const double plain = best(runs, [&] { return plainRead(image); });
    pelorin::TypeSelection jpegOnly;
    jpegOnly.set(pelorin::index(pelorin::FileType::Jpg));
    const pelorin::TypeSelection available = pelorin::availableTypes();
    uint64_t found = 0;
    const double jpeg = best(runs, [&] { return scan(image, bytes, jpegOnly, found); });
    const double all = best(runs, [&] { return scan(image, bytes, available, found); });

    makePackedImage(packedImage, bytes);
    plainRead(packedImage);
    const double packedPlain = best(runs, [&] { return plainRead(packedImage); });
    uint64_t packedFound = 0;
    const double packed = best(runs, [&] { return scan(packedImage, bytes, available, packedFound); });

    std::fprintf(stderr, "\n%s: %.0f MB of random bytes, 512-byte sectors, warm page cache, best of %d\n",
                 image.c_str(), megabytes, runs);
    std::fprintf(stderr, "%-36s %9.0f MB/s\n", "plain read (64 KiB preads)", megabytes / plain);
    std::fprintf(stderr, "%-36s %9.0f MB/s  %.2f of plain read\n", "scan, JPEG only", megabytes / jpeg, plain / jpeg);
    char label[64];
    std::snprintf(label, sizeof label, "scan, all %zu available types", available.count());
    std::fprintf(stderr, "%-36s %9.0f MB/s  %.2f of plain read\n", label, megabytes / all, plain / all);
    std::fprintf(stderr, "files found in the random image: %llu\n", static_cast<unsigned long long>(found));
    std::fprintf(stderr, "\n%s: %.0f MB packed with real MP3, MP4 and PNG files\n", packedImage.c_str(), megabytes);
    std::fprintf(stderr, "%-36s %9.0f MB/s\n", "plain read (64 KiB preads)", megabytes / packedPlain);
    std::fprintf(stderr, "%-36s %9.0f MB/s  %.2f of plain read\n", label, megabytes / packed, packedPlain / packed);
    std::fprintf(stderr, "files found in the packed image: %llu\n", static_cast<unsigned long long>(packedFound));

    if (!makeEwfImage(ewfBase, image, bytes)) {
        std::fprintf(stderr, "\nno Expert Witness image: ewfacquirestream (ewf-tools) is not installed\n");
        return 0;
    }
    const std::string ewfImage = ewfBase + ".E01";
    plainRead(ewfImage);
    const double ewfPlain = best(runs, [&] { return plainRead(ewfImage); });
    uint64_t ewfFound = 0;
    const double ewfJpeg = best(runs, [&] { return scan(ewfImage, bytes, jpegOnly, ewfFound); });
    const double ewfAll = best(runs, [&] { return scan(ewfImage, bytes, available, ewfFound); });
    std::fprintf(stderr, "\n%s: the random image as an uncompressed Expert Witness image, read through libewf\n",
                 ewfImage.c_str());
    std::fprintf(stderr, "%-36s %9.0f MB/s  %.2f of the raw image's plain read\n", "plain read (64 KiB reads)",
                 megabytes / ewfPlain, plain / ewfPlain);
    std::fprintf(stderr, "%-36s %9.0f MB/s  %.2f of plain read\n", "scan, JPEG only", megabytes / ewfJpeg,
                 ewfPlain / ewfJpeg);
    std::fprintf(stderr, "%-36s %9.0f MB/s  %.2f of plain read\n", label, megabytes / ewfAll, ewfPlain / ewfAll);
    std::fprintf(stderr, "files found in the Expert Witness image: %llu\n", static_cast<unsigned long long>(ewfFound));
    return 0;
}
