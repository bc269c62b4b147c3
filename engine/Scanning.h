#pragma once
// One scan of a source, sector by sector, from its first sector to its last.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/Prompts.h"
#include "engine/FoundNode.h"
#include "engine/FileTypes.h"
#include "engine/Probe.h"
#include "engine/Recogniser.h"
#include "engine/ScanContext.h"
#include "engine/ScanOutcome.h"
#include "engine/WindowSource.h"

namespace pelorin {

// The side of the controller that a scan talks to.
class ScanController : public Notices {
public:
    // The type flags behind the file-type check boxes.
    virtual bool isTicked(FileType type) const = 0;
    // Asks for a progress display; the scan has stored the value in the
    // context and sets progressUpdatePending first. Must not block.
    virtual void progressChanged() = 0;
    // The scan has ended, as the outcome says, and its tree is ready in
    // Scanning::root(). Must not block.
    virtual void finished(const ScanOutcome& outcome) = 0;
};

class Scanning {
public:
    // `types` is the table of types to register the ticked ones from, in the
    // order the loop asks them (recognisers/Registry.h, or a test's own).
    Scanning(ScanContext& context, ScanController& controller, std::span<const FileTypeInfo, kFileTypeCount> types);
    ~Scanning();

    // The whole scan, on the calling thread. It reads the context's source,
    // or, when the context has none, opens the selected path for the scan.
    void run();

    FoundNode* root() const { return root_.get(); }
    std::unique_ptr<FoundNode> takeRoot() { return std::move(root_); }
    void setRoot(std::unique_ptr<FoundNode> root) { root_ = std::move(root); }

    // Adds a found file to a type folder.
    FoundNode* addFoundFile(FoundNode* folder, uint64_t fileSize, uint64_t sectorNumber);
    // Adds a raw file's preview JPEG to the "RAW Jpg Files" folder.
    FoundNode* addRawPreview(FoundNode* folder, uint64_t sectorNumber, uint64_t fileSize, int32_t extraBytesToMove);


private:
    struct Registered {
        std::unique_ptr<Recogniser> recogniser;
        uint32_t firstByte;
        FoundNode* folder;  // the type's folder, which the files it finds go to
    };
    // One step of the recogniser pass for a given first byte of the probe.
    struct DispatchStep {
        uint8_t recogniser;  // index into registered_, or kStopPass
        bool stopOnNo;       // a NO here ends the pass (the first-byte bound)
    };
    static constexpr uint8_t kStopPass = 0xFF;

    void registerTickedTypes();
    // A folder of an added type takes its id with its first file (see isAddedType).
    std::unique_ptr<FoundNode> makeTypeFolder(std::string_view name, std::string_view extension, bool idOnFirstFile);
    static constexpr uint32_t kNoIdYet = 0;
    void buildDispatch();
    // False when the source has gone while the loop jumped over a file.
    bool offerSector(Probe& probe, const DispatchStep* route, uint64_t& sectorIndex, uint32_t& windowOffset,
                     const uint8_t*& window, uint64_t sectorCount);
    void fileMatch(const Registered& entry, const Match& match, uint64_t sectorIndex);
    void startTree();
    void finishScan(const ScanOutcome& outcome);

    ScanContext& ctx;
    ScanController& controller;
    std::span<const FileTypeInfo, kFileTypeCount> registry_;
    WindowSource* activeSource_ = nullptr;  // the loop's windows, while a scan runs

    std::unique_ptr<FoundNode> root_;
    std::array<std::unique_ptr<FoundNode>, kFileTypeCount> typeFolders_;  // until attached to the root
    std::unique_ptr<FoundNode> rawPreviews_;
    std::vector<Registered> registered_;
    // The steps of every route, each ending in kStopPass; a route starts at
    // dispatchBegin_[first byte + 256 × what the fifth byte makes of the
    // sector: 0 nothing in particular, 1 maybe an ISO box, 2 maybe a
    // time-coded transport packet].
    std::vector<DispatchStep> dispatchSteps_;
    std::array<uint32_t, 3 * 256> dispatchBegin_{};
    // 256 × the kind of route, by the sector's fifth byte: one look-up in the loop.
    std::array<uint16_t, 256> routeKindOffset_{};
    bool noIsoBaseMediaTicked_ = true;
    uint32_t nextFileId = 3;
    std::string scannedPath_;
    uint32_t sectorSize_ = 512;
    uint64_t sourceEnd_ = 0;  // the source's size in bytes: no file filed runs past it
};

}  // namespace pelorin
