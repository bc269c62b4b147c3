#pragma once
// Canon CR3 raw files: ISO base media with the "crx " brand, sized as the
// other ISO stills are. Like the other raw types it reports its preview JPEG,
// held in a PRVW box inside a top-level "uuid" box of Canon's.

#include "recognisers/media/IsoStillFileCheck.h"

namespace pelorin {

class Cr3FileCheck final : public IsoStillFileCheck {
public:
    explicit Cr3FileCheck(ScanContext& context) : IsoStillFileCheck(context, IsoStillKind::Cr3) {}

private:
    void sawTopLevelBox(FileCursor& file, uint64_t start, uint32_t type, uint64_t size, Match& match) override;
};

}  // namespace pelorin
