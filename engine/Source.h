#pragma once
// What a scan reads: a block device, a disk image or bytes in memory, read
// only and by position. A scan opens its source once; the sector loop, the
// recognisers' windows, the first sectors and saving all read through it, and
// every read error comes back through it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace pelorin {

// How a positioned read went.
struct SourceRead {
    std::size_t bytes = 0;  // bytes delivered from the offset on
    int error = 0;          // errno of the read that stopped short; 0 when it stopped only at the end

    bool failed() const { return error != 0; }
};

class Source {
public:
    virtual ~Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    uint64_t size() const { return size_; }
    uint32_t sectorSize() const { return sectorSize_; }
    uint64_t sectorCount() const { return size_ / sectorSize_; }
    // The path or label messages name the source by.
    const std::string& name() const { return name_; }

    // Fills the buffer with the bytes from the offset on, up to the end of the
    // source. A read that fails stops there and says how far it got.
    virtual SourceRead read(uint64_t offset, std::span<uint8_t> buffer) = 0;

protected:
    Source(std::string name, uint64_t size, uint32_t sectorSize)
        : name_(std::move(name)), size_(size), sectorSize_(sectorSize == 0 ? 512 : sectorSize) {}

private:
    std::string name_;
    uint64_t size_;
    uint32_t sectorSize_;
};

// Why a source could not be opened.
struct SourceOpenFailure {
    enum Kind {
        System,              // a system call failed: `error` holds its errno
        EwfSegmentsMissing,  // the segments of an Expert Witness image cannot be found
        EwfUnreadable,       // they are no readable image (damaged, or a segment missing)
        EwfCutShort,         // the image opens, but its last byte cannot be read
    };
    Kind kind = System;
    int error = 0;
    std::string detail;  // the EWF library's own account, where it gave one
};

// True for the errors that mean the source itself has gone (the device was
// removed, the medium taken out, the descriptor no longer valid) rather than
// a stretch of it that cannot be read.
bool isSourceGone(int error);

// Reads like Source::read, but a failure that leaves the source in place does
// not end the read: the sectors from the failing one on are read one at a
// time, those that cannot be read are zeroed and counted in `unreadable`, and
// the read goes on. It still stops at the end of the source, and fails only
// when the source has gone. Sectors of `sectorSize` bytes are counted from the
// source's start, so the offset need not fall on one.
SourceRead readPastBadSectors(Source& source, uint64_t offset, std::span<uint8_t> buffer, uint32_t sectorSize,
                              uint64_t& unreadable);

// A block device or an image file, through one read-only descriptor.
class FileSource final : public Source {
public:
    // Opens the path. `sectorSize` 0 takes a block device's logical block
    // size, or 512 for anything else. Null, with errno set, when it cannot.
    static std::unique_ptr<FileSource> open(const std::string& path, uint32_t sectorSize = 0);
    // The same for a descriptor opened elsewhere (for instance by a helper
    // with more rights); the source closes it. Null, with errno set, when
    // fstat fails on it.
    static std::unique_ptr<FileSource> adopt(int fd, std::string name, uint32_t sectorSize = 0);
    ~FileSource() override;

    bool blockDevice() const { return blockDevice_; }
    SourceRead read(uint64_t offset, std::span<uint8_t> buffer) override;

private:
    FileSource(int fd, std::string name, uint64_t size, uint32_t sectorSize, bool blockDevice)
        : Source(std::move(name), size, sectorSize), fd_(fd), blockDevice_(blockDevice) {}

    int fd_;
    bool blockDevice_;
};

// Bytes the caller keeps alive: for tests and the fuzzers.
class MemorySource final : public Source {
public:
    explicit MemorySource(std::span<const uint8_t> bytes, uint32_t sectorSize = 512, std::string name = "memory")
        : Source(std::move(name), bytes.size(), sectorSize), bytes_(bytes) {}

    SourceRead read(uint64_t offset, std::span<uint8_t> buffer) override;

private:
    std::span<const uint8_t> bytes_;
};

}  // namespace pelorin
