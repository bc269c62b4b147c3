#pragma once
// HEIF images: HEIC (HEVC-coded), AVIF (AV1-coded) and the plain HEIF brands
// that name no codec. One walk (IsoStillFileCheck); each type claims its brands.

#include "recognisers/media/IsoStillFileCheck.h"

namespace pelorin {

class HeicFileCheck final : public IsoStillFileCheck {
public:
    explicit HeicFileCheck(ScanContext& context) : IsoStillFileCheck(context, IsoStillKind::Heic) {}
};

class HeifFileCheck final : public IsoStillFileCheck {
public:
    explicit HeifFileCheck(ScanContext& context) : IsoStillFileCheck(context, IsoStillKind::Heif) {}
};

class AvifFileCheck final : public IsoStillFileCheck {
public:
    explicit AvifFileCheck(ScanContext& context) : IsoStillFileCheck(context, IsoStillKind::Avif) {}
};

}  // namespace pelorin
