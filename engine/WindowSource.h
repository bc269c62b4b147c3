#pragma once
// Where the sector loop gets its 64 KiB windows of the source.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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

// Reads the windows that follow the last one on a second thread while the
// loop works on the current one. A request for any other sector drops what
// was read ahead and starts again there, so every window holds exactly what a
// direct read would have given. Windows are handed over in batches, so the two
// threads meet once per batch, not once per window.
class ReadAheadWindowSource final : public WindowSource {
public:
    ReadAheadWindowSource(std::string path, uint32_t sectorSize);
    ~ReadAheadWindowSource() override;
    ReadAheadWindowSource(const ReadAheadWindowSource&) = delete;
    ReadAheadWindowSource& operator=(const ReadAheadWindowSource&) = delete;

    int readDriveSectors(uint64_t sector, uint32_t sectorSize, const uint8_t*& window) override;

private:
    static constexpr int kBatches = 4;           // one in the loop's hands, the rest read ahead
    static constexpr int kWindowsPerBatch = 16;  // 1 MiB
    struct Batch {
        std::unique_ptr<uint8_t[]> data;
        int results[kWindowsPerBatch] = {};
        uint64_t firstSector = 0;
        uint64_t generation = 0;
        std::atomic<int> ready{0};  // windows read so far
    };

    void readAhead();
    void restartAt(uint64_t sector);
    void release();
    template <class Ready>
    void waitFor(std::atomic<bool>& waitingFlag, std::condition_variable& wake, Ready ready);

    DeviceWindowSource device;
    const uint32_t sectorSize;
    const uint64_t step;  // sectors per window
    Batch batches[kBatches];
    bool holding = false;  // the loop is reading windows of batch `taken`

    std::atomic<uint64_t> started{0};  // batches the reader has begun, ever
    std::atomic<uint64_t> taken{0};    // batches the loop has let go, ever
    std::atomic<uint64_t> generation{0};
    std::atomic<bool> stopping{false};
    std::atomic<bool> loopWaiting{false};
    std::atomic<bool> readerWaiting{false};

    std::mutex mutex;
    std::condition_variable progress;  // a window read
    std::condition_variable freed;     // a batch let go, a restart, or stop
    uint64_t restartSector = 0;        // under mutex, with the generation it belongs to
    std::thread reader;
};

}  // namespace pelorin
