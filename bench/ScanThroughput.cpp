// Scan throughput against a plain sequential read of the same image, in one run.
//
//   pelorin-bench [--image PATH] [--size-mib N] [--runs N]
//
// The image is made of random bytes (no file is found in it) and kept for the
// next run. Every measurement is taken with a warm page cache, best of --runs.

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "engine/ReadDisk.h"
#include "engine/Scanning.h"

namespace {

using Clock = std::chrono::steady_clock;

struct QuietController final : pelorin::ScanController {
    explicit QuietController(pelorin::TypeSelection ticked_) : ticked(ticked_) {}
    bool fileSelectionFlag(pelorin::FileType type) const override { return ticked[pelorin::index(type)]; }
    void updateProgressBar() override {}
    void scanningCompleted() override {}
    void showAlert(std::string_view title, std::string_view message, std::string_view) override {
        std::fprintf(stderr, "%.*s %.*s\n", int(title.size()), title.data(), int(message.size()), message.data());
    }
    void logLine(std::string_view) override {}
    pelorin::TypeSelection ticked;
};

struct NoKeepAwake final : pelorin::KeepAwake {
    void poke() override {}
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

double plainRead(const std::string& path) {
    const auto start = Clock::now();
    int fd = ::open(path.c_str(), O_RDONLY);
    auto buffer = std::make_unique<uint8_t[]>(65536);
    uint64_t offset = 0;
    while (true) {
        ssize_t n = ::pread(fd, buffer.get(), 65536, static_cast<off_t>(offset));
        if (n <= 0) break;
        offset += static_cast<uint64_t>(n);
    }
    ::close(fd);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double scan(const std::string& path, uint64_t bytes, pelorin::TypeSelection ticked, uint64_t& found,
            bool readAhead = false) {
    pelorin::ScanContext ctx;
    ctx.selectedDriveMountPoint = path;
    ctx.u32BytesInSector = 512;
    ctx.u64DriveSectorNumber = bytes / 512;
    QuietController controller(ticked);
    pelorin::Scanning scanning(ctx, controller);
    scanning.setKeepAwake(std::make_unique<NoKeepAwake>());
    if (readAhead) scanning.setWindowSource(std::make_unique<pelorin::ReadAheadWindowSource>(path, 512));
    // The end-of-scan line goes to standard output; keep the table readable.
    std::fflush(stdout);
    const auto start = Clock::now();
    scanning.scanningThread();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    found = ctx.u64TotalNumberOfFileFound;
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
    uint64_t sizeMiB = 1024;
    int runs = 3;
    app.add_option("--image", image, "Image file to make (if needed) and scan")->capture_default_str();
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
    // The scan prints its end line on standard output; the table goes to standard error.
    const double jpeg = best(runs, [&] { return scan(image, bytes, jpegOnly, found); });
    const double all = best(runs, [&] { return scan(image, bytes, available, found); });
    const double ahead = best(runs, [&] { return scan(image, bytes, jpegOnly, found, true); });

    std::fprintf(stderr, "\n%s: %.0f MB of random bytes, 512-byte sectors, warm page cache, best of %d\n",
                 image.c_str(), megabytes, runs);
    std::fprintf(stderr, "%-36s %9.0f MB/s\n", "plain read (64 KiB preads)", megabytes / plain);
    std::fprintf(stderr, "%-36s %9.0f MB/s  %.2f of plain read\n", "scan, JPEG only", megabytes / jpeg, plain / jpeg);
    char label[64];
    std::snprintf(label, sizeof label, "scan, all %zu available types", available.count());
    std::fprintf(stderr, "%-36s %9.0f MB/s  %.2f of plain read\n", label, megabytes / all, plain / all);
    std::fprintf(stderr, "%-36s %9.0f MB/s  %.2f of plain read\n", "scan, JPEG only, read-ahead thread",
                 megabytes / ahead, plain / ahead);
    std::fprintf(stderr, "files found in the random image: %llu\n", static_cast<unsigned long long>(found));
    return 0;
}
