#pragma once
// Building disk images in tests and scanning them.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Scanning.h"
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

// The contents of a file under tests/fixtures.
Bytes fixture(const std::string& relativePath);
std::filesystem::path fixturePath(const std::string& relativePath);

// A scan controller that records what the scan tells it.
class RecordingController : public ScanController {
public:
    explicit RecordingController(TypeSelection ticked) : ticked(ticked) {}
    bool fileSelectionFlag(FileType type) const override { return ticked[index(type)]; }
    void updateProgressBar() override { ++progressRequests; }
    void scanningCompleted() override { ++completions; }
    void showAlert(std::string_view title, std::string_view message, std::string_view) override {
        alerts.push_back(std::string(title) + " / " + std::string(message));
    }
    void logLine(std::string_view line) override { logLines.emplace_back(line); }

    TypeSelection ticked;
    int progressRequests = 0;
    int completions = 0;
    std::vector<std::string> alerts;
    std::vector<std::string> logLines;
};

TypeSelection selectionOf(std::initializer_list<FileType> types);

// Scans a source with the given types ticked and returns the tree.
struct ScanResult {
    std::unique_ptr<HDIR> root;
    std::vector<std::string> alerts;
};
ScanResult scanImage(const std::string& path, TypeSelection ticked, uint32_t sectorSize = 512);

// The type folder with this name under the root, or null.
const HDIR* folderNamed(const HDIR& root, std::string_view name);

// A context pointing at a source, for calling a recogniser directly.
std::unique_ptr<ScanContext> contextFor(const std::string& path, uint32_t sectorSize = 512);

// Runs a recogniser on the sector the way the loop does, with a fresh probe of
// the sector's first bytes; nothing when it answered no.
std::optional<Match> recogniseAt(Recogniser& recogniser, const std::string& path, uint64_t sector,
                                 uint32_t sectorSize = 512);
// The same for a probe in memory.
std::optional<Match> recogniseBytes(Recogniser& recogniser, const uint8_t* bytes, uint64_t sector);
// The size of what it found; 0 when it answered no.
uint64_t recognise(Recogniser& recogniser, const std::string& path, uint64_t sector, uint32_t sectorSize = 512);

}  // namespace pelorin::test
