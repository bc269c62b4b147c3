#pragma once
// Ogg files: pages ("OggS"), each checked with its CRC-32, from a first page
// that begins a logical stream. The codec of that stream's first packet
// decides the type: Opus for OPUS, Vorbis, FLAC, Speex, Theora (or a
// Skeleton ahead of them) for OGG. The file ends after the page that ends the
// last stream still open, unless a new stream begins right after it (a
// chained file), or before the first place that holds no page of it. A
// found file is skipped by the scan loop: every page of it checked.

#include <vector>

#include "engine/FileCursor.h"
#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class OggFileCheck : public Recogniser {
public:
    explicit OggFileCheck(ScanContext& context) : OggFileCheck(context, false) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) final;
    std::bitset<256> acceptedFirstBytes() const final { return std::bitset<256>().set('O'); }

protected:
    OggFileCheck(ScanContext& context, bool claimsOpus) : Recogniser(context), claimsOpus_(claimsOpus), window_(context) {}

private:
    struct Page {
        uint64_t length = 0;  // 0: no valid page
        uint32_t serial = 0;
        bool beginsStream = false;
        bool endsStream = false;
    };
    Page pageAt(FileCursor& cursor, uint64_t at, uint64_t sourceEnd);
    bool firstPacketIsClaimed(FileCursor& cursor, const Page& page);
    uint64_t walk(FileCursor& cursor, uint64_t sourceEnd);

    bool claimsOpus_;
    ReadWindow window_;
    std::vector<uint32_t> openStreams_;
};

class OpusFileCheck final : public OggFileCheck {
public:
    explicit OpusFileCheck(ScanContext& context) : OggFileCheck(context, true) {}
};

}  // namespace pelorin
