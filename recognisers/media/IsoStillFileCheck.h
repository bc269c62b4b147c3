#pragma once
// ISO base media still images and camera raw (HEIC, HEIF, AVIF, CR3): told
// apart by the brands of their "ftyp" box, sized by walking their top-level
// boxes. A last box of size 0 runs "to the end of the file", which is where
// the data the file itself points at ends: the item extents of its "meta"
// box, or the last chunk of each track in its "moov" box.

#include <cstdint>

#include "engine/FileCursor.h"
#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

enum class IsoStillKind : uint8_t { None, Cr3, Heic, Heif, Avif };

class IsoStillFileCheck : public Recogniser {
public:
    std::optional<Match> recognise(Probe& probe, uint64_t sector) final;
    // An "ftyp" box of at most 4 KiB starts with a zero byte.
    std::bitset<256> acceptedFirstBytes() const final { return std::bitset<256>().set(0x00); }

    // A major brand only still images and camera raw files carry; a file
    // with one is never a video, whichever types are ticked.
    static bool isStillBrand(uint32_t majorBrand);

protected:
    IsoStillFileCheck(ScanContext& context, IsoStillKind kind) : Recogniser(context), kind_(kind), window_(context) {}

    // Sees each top-level box the walk takes in; CR3 finds its preview here.
    virtual void sawTopLevelBox(FileCursor&, uint64_t /*start*/, uint32_t /*type*/, uint64_t /*size*/, Match&) {}

private:
    IsoStillKind kindOf(const Probe& probe, FileCursor& file) const;
    uint64_t walkTopLevelBoxes(FileCursor& file, uint64_t room, Match& match);
    // Where the data the box points at ends (0: nowhere known).
    uint64_t itemExtentsEnd(FileCursor& file, uint64_t metaStart, uint64_t metaEnd) const;
    uint64_t trackChunksEnd(FileCursor& file, uint64_t start, uint64_t end, int depth) const;
    uint64_t lastChunkEnd(FileCursor& file, uint64_t stblStart, uint64_t stblEnd) const;

    IsoStillKind kind_;
    ReadWindow window_;
};

}  // namespace pelorin
