#pragma once
// Where the sector loop gets its 64 KiB windows of the source.

#include <cstdint>
#include <memory>
#include <string>

namespace pelorin {

class WindowSource {
public:
    static constexpr std::size_t kWindowSize = 65536;
    virtual ~WindowSource() = default;
    // Points `window` at 65,536 bytes: the source's bytes from the sector on
    // and zeros after them; valid until the next call. Returns 1 when at least
    // one byte was read, 0 when nothing could be read (an unreadable stretch or
    // the end of the source; the window is then all zeros) and -1 when the
    // source cannot be opened.
    virtual int readDriveSectors(uint64_t sector, uint32_t sectorSize, const uint8_t*& window) = 0;
};

// Reads through one read-only descriptor. When a read fails it reopens the
// path, so a vanished device gives -1 and an unreadable stretch 0, as a fresh
// open, read and close for every window would.
class DeviceWindowSource final : public WindowSource {
public:
    explicit DeviceWindowSource(std::string path);
    ~DeviceWindowSource() override;
    DeviceWindowSource(const DeviceWindowSource&) = delete;
    DeviceWindowSource& operator=(const DeviceWindowSource&) = delete;

    int readDriveSectors(uint64_t sector, uint32_t sectorSize, const uint8_t*& window) override;
    // The same into a buffer of the caller's.
    int fill(uint64_t sector, uint32_t sectorSize, uint8_t* window);

private:
    bool reopen();
    std::string path;
    int fd = -1;
    std::unique_ptr<uint8_t[]> buffer;
};

}  // namespace pelorin
