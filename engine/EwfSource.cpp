#include "engine/EwfSource.h"

#include <libewf.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace pelorin {
namespace {

constexpr std::array<char, 8> kSignature{'E', 'V', 'F', '\x09', '\x0d', '\x0a', '\xff', '\x00'};

// libewf's last line of explanation, and frees the error.
std::string describe(libewf_error_t*& error) {
    if (!error) return {};
    char text[1024] = {};
    libewf_error_sprint(error, text, sizeof text);
    libewf_error_free(&error);
    std::string message(text);
    // The text stacks one line per call level; the innermost is the cause.
    while (!message.empty() && (message.back() == '\n' || message.back() == '.')) message.pop_back();
    const std::size_t lastLine = message.rfind('\n');
    return lastLine == std::string::npos ? message : message.substr(lastLine + 1);
}

}  // namespace

struct EwfSource::Handle {
    libewf_handle_t* handle = nullptr;
    uint32_t bytesPerSector = 512;  // the image's own, which its checksum errors count in

    ~Handle() {
        if (!handle) return;
        libewf_handle_close(handle, nullptr);
        libewf_handle_free(&handle, nullptr);
    }
};

bool EwfSource::hasSignature(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<char, kSignature.size()> start{};
    return file.read(start.data(), start.size()) && start == kSignature;
}

EwfSource::EwfSource(std::string name, uint64_t size, uint32_t sectorSize, std::unique_ptr<Handle> handle)
    : Source(std::move(name), size, sectorSize), handle_(std::move(handle)) {}

EwfSource::~EwfSource() = default;

std::unique_ptr<EwfSource> EwfSource::open(const std::string& path, uint32_t sectorSize, SourceOpenFailure& why) {
    libewf_error_t* error = nullptr;
    char** names = nullptr;
    int nameCount = 0;
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &nameCount, &error) != 1) {
        why = {SourceOpenFailure::EwfSegmentsMissing, 0, describe(error)};
        return nullptr;
    }
    auto handle = std::make_unique<Handle>();
    int opened = libewf_handle_initialize(&handle->handle, &error);
    if (opened == 1) opened = libewf_handle_open(handle->handle, names, nameCount, LIBEWF_OPEN_READ, &error);
    libewf_glob_free(names, nameCount, nullptr);
    if (opened != 1) {
        why = {SourceOpenFailure::EwfUnreadable, 0, describe(error)};
        return nullptr;
    }
    size64_t mediaSize = 0;
    if (libewf_handle_get_media_size(handle->handle, &mediaSize, &error) != 1) {
        why = {SourceOpenFailure::EwfUnreadable, 0, describe(error)};
        return nullptr;
    }
    uint32_t bytesPerSector = 0;
    if (libewf_handle_get_bytes_per_sector(handle->handle, &bytesPerSector, nullptr) == 1 && bytesPerSector != 0)
        handle->bytesPerSector = bytesPerSector;
    auto source = std::unique_ptr<EwfSource>(new EwfSource(path, mediaSize, sectorSize, std::move(handle)));
    // A segment cut short still opens; its last byte then cannot be read.
    uint8_t last = 0;
    if (mediaSize != 0 && source->read(mediaSize - 1, {&last, 1}).failed()) {
        why = {SourceOpenFailure::EwfCutShort, 0, {}};
        return nullptr;
    }
    return source;
}

SourceRead EwfSource::read(uint64_t offset, std::span<uint8_t> buffer) {
    if (offset >= size()) return {};
    const std::size_t wanted = static_cast<std::size_t>(std::min<uint64_t>(buffer.size(), size() - offset));
    std::lock_guard lock(mutex_);
    libewf_error_t* error = nullptr;
    const ssize_t n = libewf_handle_read_random(handle_->handle, buffer.data(), wanted,
                                                static_cast<off64_t>(offset), &error);
    if (n < 0) {
        libewf_error_free(&error);
        return {0, EIO};
    }
    SourceRead result{static_cast<std::size_t>(n), 0};
    if (result.bytes < wanted) result.error = EIO;  // the media size promised more
    // Chunks that failed their checksum came through as zeros; the read
    // stops at the first of them.
    uint32_t errorCount = 0;
    if (libewf_handle_get_number_of_checksum_errors(handle_->handle, &errorCount, nullptr) != 1) errorCount = 0;
    for (uint32_t i = 0; i < errorCount; ++i) {
        uint64_t firstSector = 0, sectorCount = 0;
        if (libewf_handle_get_checksum_error(handle_->handle, i, &firstSector, &sectorCount, nullptr) != 1) continue;
        const uint64_t badStart = firstSector * handle_->bytesPerSector;
        const uint64_t badEnd = badStart + sectorCount * handle_->bytesPerSector;
        if (badEnd <= offset || badStart >= offset + result.bytes) continue;
        result.bytes = static_cast<std::size_t>(std::max(badStart, offset) - offset);
        result.error = EIO;
    }
    return result;
}

}  // namespace pelorin
