#include "engine/WindowSource.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "engine/ReadDisk.h"

namespace pelorin {

DeviceWindowSource::DeviceWindowSource(std::string path_)
    : path(std::move(path_)), buffer(std::make_unique<uint8_t[]>(kWindowSize)) {}

DeviceWindowSource::~DeviceWindowSource() {
    if (fd >= 0) ::close(fd);
}

bool DeviceWindowSource::reopen() {
    if (fd >= 0) ::close(fd);
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd >= 0;
}

int DeviceWindowSource::fill(uint64_t sector, uint32_t sectorSize, uint8_t* window) {
    const uint64_t offset = sector * sectorSize;
    long long n = -1;
    if (fd >= 0) n = preadFully(fd, offset, {window, kWindowSize});
    if (n <= 0) {
        // A fresh open tells a vanished device from a stretch that cannot be read.
        if (!reopen()) {
            std::memset(window, 0, kWindowSize);
            return -1;
        }
        n = preadFully(fd, offset, {window, kWindowSize});
    }
    if (n <= 0) {
        std::memset(window, 0, kWindowSize);
        return 0;
    }
    if (static_cast<std::size_t>(n) < kWindowSize) std::memset(window + n, 0, kWindowSize - static_cast<std::size_t>(n));
    return 1;
}

int DeviceWindowSource::readDriveSectors(uint64_t sector, uint32_t sectorSize, const uint8_t*& window) {
    window = buffer.get();
    return fill(sector, sectorSize, buffer.get());
}

ReadAheadWindowSource::ReadAheadWindowSource(std::string path, uint32_t sectorSize_)
    : device(std::move(path)), sectorSize(sectorSize_) {
    for (Slot& slot : slots) slot.data = std::make_unique<uint8_t[]>(kWindowSize);
}

ReadAheadWindowSource::~ReadAheadWindowSource() {
    if (!reader.joinable()) return;
    stopping = true;
    {
        std::lock_guard lock(mutex);
    }
    freedOne.notify_all();
    reader.join();
}

// Spins a little first: the other side is usually only microseconds away, and
// sleeping and waking costs more than that.
template <class Ready>
void ReadAheadWindowSource::waitFor(std::atomic<bool>& waitingFlag, std::condition_variable& wake, Ready ready) {
    for (int spin = 0; spin < 4000; ++spin) {
        if (ready()) return;
        __builtin_ia32_pause();
    }
    std::unique_lock lock(mutex);
    waitingFlag = true;
    wake.wait(lock, ready);
    waitingFlag = false;
}

void ReadAheadWindowSource::restartAt(uint64_t sector) {
    std::lock_guard lock(mutex);
    restartSector = sector;
    generation.fetch_add(1);
}

void ReadAheadWindowSource::readAhead() {
    const uint64_t step = kWindowSize / sectorSize;
    uint64_t readingGeneration = 0;
    uint64_t next = 0;
    while (!stopping) {
        {
            std::lock_guard lock(mutex);
            if (generation.load() != readingGeneration) {
                readingGeneration = generation.load();
                next = restartSector;
            }
        }
        // Keep one slot free of reading: the loop may still be using it.
        waitFor(readerWaiting, freedOne, [this, readingGeneration] {
            return stopping.load() || generation.load() != readingGeneration || filled.load() - taken.load() < kSlots - 1;
        });
        if (stopping) break;
        if (generation.load() != readingGeneration) continue;
        Slot& slot = slots[filled.load() % kSlots];
        slot.result = device.fill(next, sectorSize, slot.data.get());
        slot.sector = next;
        slot.generation = readingGeneration;
        filled.fetch_add(1);
        if (loopWaiting.load()) {
            std::lock_guard lock(mutex);
            filledOne.notify_one();
        }
        next += step;
    }
}

int ReadAheadWindowSource::readDriveSectors(uint64_t sector, uint32_t, const uint8_t*& window) {
    if (!reader.joinable()) {
        restartAt(sector);
        reader = std::thread([this] { readAhead(); });
    }
    while (true) {
        waitFor(loopWaiting, filledOne, [this] { return filled.load() > taken.load(); });
        Slot& slot = slots[taken.load() % kSlots];
        const bool current = slot.generation == generation.load();
        if (current && slot.sector == sector) {
            // The slot handed out last time is free again now.
            taken.fetch_add(1);
            if (readerWaiting.load()) {
                std::lock_guard lock(mutex);
                freedOne.notify_one();
            }
            window = slot.data.get();
            return slot.result;
        }
        taken.fetch_add(1);  // read ahead for a sector nobody wants now
        if (current) restartAt(sector);
        if (readerWaiting.load()) {
            std::lock_guard lock(mutex);
            freedOne.notify_one();
        }
    }
}

}  // namespace pelorin
