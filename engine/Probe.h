#pragma once
// Typed reads of the 25-byte probe, for recognisers that take header values
// straight from it.

#include "engine/ByteView.h"
#include "engine/Recogniser.h"

namespace pelorin {

class Probe : public ByteView {
public:
    explicit Probe(const uint8_t* bytes) : ByteView(bytes, kProbeSize) {}
};

}  // namespace pelorin
