#include "support/TestSupport.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pelorin::test {

std::string sha256Hex(const Bytes& bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) return {};
    std::string text;
    char pair[3];
    for (unsigned int k = 0; k < length; ++k) {
        std::snprintf(pair, sizeof pair, "%02x", digest[k]);
        text += pair;
    }
    return text;
}

TempImage::TempImage(uint64_t size) {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelorin-test-XXXXXX").string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("cannot create a temporary image");
    ::close(fd);
    path_ = pattern;
    if (size) resize(size);
}

TempImage::~TempImage() {
    if (!path_.empty()) std::filesystem::remove(path_);
}

void TempImage::write(uint64_t offset, const Bytes& bytes) {
    int fd = ::open(path_.c_str(), O_WRONLY);
    if (fd < 0 || ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) != ssize_t(bytes.size()))
        throw std::runtime_error("cannot write the temporary image");
    ::close(fd);
}

void TempImage::resize(uint64_t size) { std::filesystem::resize_file(path_, size); }

uint64_t TempImage::size() const { return std::filesystem::file_size(path_); }

std::filesystem::path fixturePath(const std::string& relativePath) {
    return std::filesystem::path(PELORIN_FIXTURES_DIR) / relativePath;
}

Bytes fixture(const std::string& relativePath) {
    std::ifstream file(fixturePath(relativePath), std::ios::binary);
    if (!file) throw std::runtime_error("missing fixture " + relativePath);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

TypeSelection selectionOf(std::initializer_list<FileType> types) {
    TypeSelection ticked;
    for (FileType type : types) ticked.set(index(type));
    return ticked;
}

ScanResult scanImage(const std::string& path, TypeSelection ticked, uint32_t sectorSize) {
    ScanContext ctx;
    ctx.sourcePath = path;
    ctx.sectorSize = sectorSize;
    ctx.sectorCount = std::filesystem::file_size(path) / sectorSize;
    RecordingController controller(ticked);
    Scanning scanning(ctx, controller, registry());
    scanning.run();
    return {scanning.takeRoot(), controller.alerts};
}

const FoundNode* folderNamed(const FoundNode& root, std::string_view name) {
    for (const auto& child : root.children())
        if (child->fileName() == name) return child.get();
    return nullptr;
}

ShellRun shell(const std::string& command) {
    ShellRun run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

const FoundNode* fileAt(const FoundNode& root, std::string_view folder, uint64_t sector) {
    const FoundNode* type = folderNamed(root, folder);
    if (!type) return nullptr;
    for (const auto& file : type->children())
        if (file->sectorNumber() == sector) return file.get();
    return nullptr;
}

std::size_t filesFiled(const FoundNode& root) {
    std::size_t filed = 0;
    for (const auto& folder : root.children()) filed += folder->children().size();
    return filed;
}

long long readAt(const std::string& path, uint64_t offset, std::span<uint8_t> buffer) {
    auto source = FileSource::open(path);
    if (!source) return -1;
    const SourceRead got = source->read(offset, buffer);
    return got.bytes == 0 && got.failed() ? -1 : static_cast<long long>(got.bytes);
}

PathSource::PathSource(const ScanContext& context) : Source("test", 0, 512), ctx(context) {}

SourceRead PathSource::read(uint64_t offset, std::span<uint8_t> buffer) {
    auto source = FileSource::open(ctx.sourcePath);
    if (!source) return {0, errno};
    return source->read(offset, buffer);
}

FaultySource::FaultySource(Source& inner_)
    : Source(inner_.name(), inner_.size(), inner_.sectorSize()), inner(inner_) {}

SourceRead FaultySource::read(uint64_t offset, std::span<uint8_t> buffer) {
    reads.push_back(offset);
    const uint64_t end = offset + buffer.size();
    for (const auto& [start, fault] : faults) {
        if (start >= end) break;
        if (fault.end <= offset) continue;
        const std::size_t good = static_cast<std::size_t>(std::max(start, offset) - offset);
        const SourceRead got = inner.read(offset, buffer.first(good));
        if (got.failed() || got.bytes < good) return got;
        return {good, fault.error};
    }
    return inner.read(offset, buffer);
}

std::unique_ptr<TestContext> contextFor(const std::string& path, uint32_t sectorSize) {
    auto ctx = std::make_unique<TestContext>();
    ctx->sourcePath = path;
    ctx->sectorSize = sectorSize;
    ctx->sectorCount = std::filesystem::file_size(path) / sectorSize;
    return ctx;
}

std::optional<Match> recogniseAt(Recogniser& recogniser, const std::string& path, uint64_t sector,
                                 uint32_t sectorSize) {
    uint8_t probe[kProbeSize] = {};
    readAt(path, sector * sectorSize, {probe, kProbeSize});
    return recogniseBytes(recogniser, probe, sector);
}

std::optional<Match> recogniseBytes(Recogniser& recogniser, const uint8_t* bytes, uint64_t sector) {
    Probe probe(bytes);
    return recogniser.recognise(probe, sector);
}

uint64_t recognise(Recogniser& recogniser, const std::string& path, uint64_t sector, uint32_t sectorSize) {
    const std::optional<Match> match = recogniseAt(recogniser, path, sector, sectorSize);
    return match ? match->size : 0;
}

}  // namespace pelorin::test
