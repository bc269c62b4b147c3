#pragma once
// An Expert Witness image (image.E01 and the segments after it), read
// through libewf. Only this file's source links libewf.

#include <memory>
#include <mutex>
#include <string>

#include "engine/Source.h"

namespace pelorin {

class EwfSource final : public Source {
public:
    // True when the file starts with the Expert Witness signature.
    static bool hasSignature(const std::string& path);

    // Finds the segments that belong with the named one and opens them.
    // `sectorSize` 0 takes 512. Null when they cannot be opened or are not
    // a readable image; `why` then says what is wrong.
    static std::unique_ptr<EwfSource> open(const std::string& path, uint32_t sectorSize, SourceOpenFailure& why);
    ~EwfSource() override;

    // A chunk whose checksum does not match fails, as a bad sector would:
    // libewf hands it over as zeros.
    SourceRead read(uint64_t offset, std::span<uint8_t> buffer) override;

private:
    struct Handle;
    EwfSource(std::string name, uint64_t size, uint32_t sectorSize, std::unique_ptr<Handle> handle);

    std::unique_ptr<Handle> handle_;
    std::mutex mutex_;  // libewf reads by seek and read on one handle
};

}  // namespace pelorin
