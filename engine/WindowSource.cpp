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
    : device(std::move(path)), sectorSize(sectorSize_), step(kWindowSize / sectorSize_) {
    for (Batch& batch : batches) batch.data = std::make_unique<uint8_t[]>(kWindowSize * kWindowsPerBatch);
}

ReadAheadWindowSource::~ReadAheadWindowSource() {
    if (!reader.joinable()) return;
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    freed.notify_all();
    reader.join();
}

// Spins a little first: the other side is usually only microseconds away, and
// sleeping and waking costs more than that.
template <class Ready>
void ReadAheadWindowSource::waitFor(std::atomic<bool>& waitingFlag, std::condition_variable& wake, Ready ready) {
    for (int spin = 0; spin < 2000; ++spin) {
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

void ReadAheadWindowSource::release() {
    holding = false;
    taken.fetch_add(1);
    if (readerWaiting.load()) {
        std::lock_guard lock(mutex);
        freed.notify_one();
    }
}

void ReadAheadWindowSource::readAhead() {
    uint64_t readingGeneration = 0;
    uint64_t next = 0;
    while (true) {
        // Never touch the batch the loop holds: begin one only when fewer than all are in use.
        waitFor(readerWaiting, freed, [this] { return stopping.load() || started.load() - taken.load() < kBatches; });
        uint64_t restartGeneration;
        {
            std::lock_guard lock(mutex);
            if (stopping) return;
            restartGeneration = generation.load();
            if (restartGeneration != readingGeneration) next = restartSector;
        }
        readingGeneration = restartGeneration;
        Batch& batch = batches[started.load() % kBatches];
        batch.ready.store(0);
        batch.firstSector = next;
        batch.generation = readingGeneration;
        started.fetch_add(1);
        for (int i = 0; i < kWindowsPerBatch; ++i) {
            if (stopping.load() || generation.load() != readingGeneration) break;
            batch.results[i] = device.fill(next, sectorSize, batch.data.get() + i * kWindowSize);
            next += step;
            batch.ready.store(i + 1);
            if (loopWaiting.load()) {
                std::lock_guard lock(mutex);
                progress.notify_one();
            }
        }
        if (generation.load() != readingGeneration) {
            // Let a loop waiting on this batch see that it will not be finished.
            batch.ready.store(kWindowsPerBatch + 1);
            if (loopWaiting.load()) {
                std::lock_guard lock(mutex);
                progress.notify_one();
            }
        }
    }
}

int ReadAheadWindowSource::readDriveSectors(uint64_t sector, uint32_t, const uint8_t*& window) {
    if (!reader.joinable()) {
        restartAt(sector);
        reader = std::thread([this] { readAhead(); });
    }
    while (true) {
        if (!holding) {
            waitFor(loopWaiting, progress, [this] { return started.load() > taken.load(); });
            holding = true;
        }
        Batch& batch = batches[taken.load() % kBatches];
        const bool current = batch.generation == generation.load();
        const uint64_t offset = sector - batch.firstSector;
        if (!current || sector < batch.firstSector || offset % step != 0 || offset / step >= kWindowsPerBatch) {
            // Read ahead for sectors nobody wants now.
            if (current) restartAt(sector);
            release();
            continue;
        }
        const int index = static_cast<int>(offset / step);
        waitFor(loopWaiting, progress, [&batch, index] { return batch.ready.load() > index; });
        if (batch.ready.load() > kWindowsPerBatch) {  // abandoned by a restart
            release();
            continue;
        }
        window = batch.data.get() + index * kWindowSize;
        return batch.results[index];
    }
}

}  // namespace pelorin
