#pragma once
// Building disk images in tests and scanning them.

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Texts.h"
#include "engine/Scanning.h"
#include "engine/Source.h"
#include "recognisers/Registry.h"

namespace pelorin::test {

using Bytes = std::vector<uint8_t>;

// A temporary disk image, removed when the object goes.
class TempImage {
public:
    explicit TempImage(uint64_t size = 0);
    ~TempImage();
    TempImage(const TempImage&) = delete;
    TempImage& operator=(const TempImage&) = delete;
    TempImage(TempImage&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }

    const std::string& path() const { return path_; }
    // Writes bytes at a byte offset, growing the image as needed.
    void write(uint64_t offset, const Bytes& bytes);
    void resize(uint64_t size);
    uint64_t size() const;

private:
    std::string path_;
};

// SHA-256 of the bytes, as 64 lower-case hex digits, taken with OpenSSL in one call.
std::string sha256Hex(const Bytes& bytes);

// The contents of a file under tests/fixtures.
Bytes fixture(const std::string& relativePath);
std::filesystem::path fixturePath(const std::string& relativePath);

// A scan controller that records what the scan tells it.
class RecordingController : public ScanController {
public:
    explicit RecordingController(TypeSelection ticked) : ticked(ticked) {}
    bool isTicked(FileType type) const override { return ticked[index(type)]; }
    void progressChanged() override { ++progressRequests; }
    void finished(const ScanOutcome& how) override {
        ++completions;
        outcome = how;
    }
    void notify(const Notice& notice) override {
        const texts::AlertText alert = texts::alertFor(notice);
        alerts.push_back(alert.title + " / " + alert.message);
        if (!alert.logLine.empty()) logLines.push_back(alert.logLine);
    }

    TypeSelection ticked;
    int progressRequests = 0;
    int completions = 0;
    ScanOutcome outcome;  // the last scan's
    std::vector<std::string> alerts;
    std::vector<std::string> logLines;
};

TypeSelection selectionOf(std::initializer_list<FileType> types);

// Scans a source with the given types ticked and returns the tree.
struct ScanResult {
    std::unique_ptr<FoundNode> root;
    std::vector<std::string> alerts;
};
ScanResult scanImage(const std::string& path, TypeSelection ticked, uint32_t sectorSize = 512);

// The type folder with this name under the root, or null.
const FoundNode* folderNamed(const FoundNode& root, std::string_view name);
// A shell command's exit status and its standard output and error together.
struct ShellRun {
    int status = -1;
    std::string output;
};
ShellRun shell(const std::string& command);
// A path quoted for the shell.
inline std::string quoted(const std::string& path) { return "'" + path + "'"; }

// The file of that folder found at the sector, or null.
const FoundNode* fileAt(const FoundNode& root, std::string_view folder, uint64_t sector);
// Every file filed, in all folders.
std::size_t filesFiled(const FoundNode& root);

// Reads up to buffer.size() bytes at a byte offset of a file: the count, or
// -1 when it cannot be opened or read.
long long readAt(const std::string& path, uint64_t offset, std::span<uint8_t> buffer);

// A source that opens the context's sourcePath afresh for every read,
// so that a test can count reads by counting opens (OpenCounter) and make the
// source vanish by pointing the path elsewhere.
class PathSource final : public Source {
public:
    explicit PathSource(const ScanContext& context);
    SourceRead read(uint64_t offset, std::span<uint8_t> buffer) override;

private:
    const ScanContext& ctx;
};

// Another source with faults where told: a read that reaches a broken
// stretch delivers the bytes before it and fails there with the error. Records
// where every read started.
class FaultySource final : public Source {
public:
    static constexpr uint64_t kToTheEnd = ~uint64_t{0};

    explicit FaultySource(Source& inner);
    // Breaks `length` bytes from the offset (kToTheEnd: all that follow, as
    // when a device is pulled out).
    void breakAt(uint64_t offset, int error, uint64_t length = 1) {
        faults[offset] = {length == kToTheEnd ? kToTheEnd : offset + length, error};
    }
    void breakSector(uint64_t sector, int error = EIO) { breakAt(sector * sectorSize(), error, sectorSize()); }
    SourceRead read(uint64_t offset, std::span<uint8_t> buffer) override;

    std::vector<uint64_t> reads;

private:
    struct Fault {
        uint64_t end;
        int error;
    };
    Source& inner;
    std::map<uint64_t, Fault> faults;  // by the first broken byte
};

// A scan context with its source, for calling a recogniser directly.
struct TestContext : ScanContext {
    TestContext() { source = &pathSource; }
    PathSource pathSource{*this};
};

// A context pointing at a file, for calling a recogniser directly.
std::unique_ptr<TestContext> contextFor(const std::string& path, uint32_t sectorSize = 512);

// Runs a recogniser on the sector the way the loop does, with a fresh probe of
// the sector's first bytes; nothing when it answered no.
std::optional<Match> recogniseAt(Recogniser& recogniser, const std::string& path, uint64_t sector,
                                 uint32_t sectorSize = 512);
// The same for a probe in memory.
std::optional<Match> recogniseBytes(Recogniser& recogniser, const uint8_t* bytes, uint64_t sector);
// The size of what it found; 0 when it answered no.
uint64_t recognise(Recogniser& recogniser, const std::string& path, uint64_t sector, uint32_t sectorSize = 512);

}  // namespace pelorin::test
