#include "engine/Scanning.h"

#include "engine/OpenSource.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>


namespace pelorin {
namespace {

constexpr uint32_t kWindowSize = WindowSource::kWindowSize;

// An ISO box type starts with a letter from "f" to "x"; such sectors must
// reach the ISO base media recognisers at the end of the list.
bool mayBeIsoBox(const uint8_t* probe) { return uint8_t(probe[4] - 0x66) <= 0x78 - 0x66; }

// What the fifth byte makes of a sector, as the routes are kept (one byte
// cannot be both).
enum RouteKind : unsigned { kPlainRoute = 0, kIsoBoxRoute = 1, kTransportRoute = 2, kRouteKinds = 3 };
static_assert(uint8_t(Recogniser::kTransportSync - 0x66) > 0x78 - 0x66);

}  // namespace

Scanning::Scanning(ScanContext& context, ScanController& controller_, std::span<const FileTypeInfo, kFileTypeCount> types)
    : ctx(context), controller(controller_), registry_(types) {}

Scanning::~Scanning() = default;

std::unique_ptr<FoundNode> Scanning::makeTypeFolder(std::string_view name, std::string_view extension,
                                                    bool idOnFirstFile) {
    auto folder = std::make_unique<FoundNode>();
    folder->setFileType(FoundNode::kFolder);
    folder->setFileID(idOnFirstFile ? kNoIdYet : nextFileId++);
    folder->setParentID(FoundNode::kRootID);
    folder->setFileName(std::string(name));
    folder->setExtension(std::string(extension));
    folder->setPathName("/" + root_->fileName());
    folder->setParent(root_.get());
    return folder;
}

void Scanning::registerTickedTypes() {
    TypeSelection ticked;
    for (const FileTypeInfo& row : registry_)
        ticked.set(index(row.type), controller.isTicked(row.type) && row.factory);
    // The preview folder takes its id between the CRW and MID folders, or,
    // when only added types can fill it, with its first file, as theirs do.
    bool previewTypeTicked = false, onlyAddedTypesPreview = true;
    for (const FileTypeInfo& row : registry_) {
        if (!ticked[index(row.type)] || !row.reportsPreview) continue;
        previewTypeTicked = true;
        onlyAddedTypesPreview = onlyAddedTypesPreview && isAddedType(row.type);
    }
    for (const FileTypeInfo& row : registry_) {
        if (ticked[index(row.type)]) {
            auto folder = makeTypeFolder(row.folderName, row.extension, isAddedType(row.type));
            registered_.push_back({row.factory(ctx, ticked), row.firstByte, folder.get()});
            if (row.isoBaseMedia) noIsoBaseMediaTicked_ = false;
            typeFolders_[index(row.type)] = std::move(folder);
        }
        if (row.type == FileType::Crw && previewTypeTicked)
            rawPreviews_ = makeTypeFolder(kRawJpgFolderName, "", onlyAddedTypesPreview);
    }
}

void Scanning::buildDispatch() {
    std::array<std::bitset<256>, kFileTypeCount> accepted;
    std::bitset<kFileTypeCount> needsSync;
    for (std::size_t i = 0; i < registered_.size(); ++i) {
        accepted[i] = registered_[i].recogniser->acceptedFirstBytes();
        needsSync[i] = registered_[i].recogniser->needsTransportSyncAtFour();
    }
    for (unsigned fifth = 0; fifth < 256; ++fifth) {
        const uint8_t probe[5] = {0, 0, 0, 0, uint8_t(fifth)};
        const unsigned kind = !noIsoBaseMediaTicked_ && mayBeIsoBox(probe) ? kIsoBoxRoute
                              : fifth == Recogniser::kTransportSync && needsSync.any() ? kTransportRoute
                                                                                        : kPlainRoute;
        routeKindOffset_[fifth] = static_cast<uint16_t>(256 * kind);
    }
    dispatchSteps_.clear();
    for (unsigned kind = 0; kind < kRouteKinds; ++kind) {
        const bool isoException = kind == kIsoBoxRoute;
        for (unsigned first = 0; first < 256; ++first) {
            dispatchBegin_[first + 256 * kind] = static_cast<uint32_t>(dispatchSteps_.size());
            for (std::size_t i = 0; i < registered_.size(); ++i) {
                const bool boundExceeded = first < registered_[i].firstByte && !isoException;
                if (accepted[i][first] && (kind == kTransportRoute || !needsSync[i])) {
                    dispatchSteps_.push_back({static_cast<uint8_t>(i), boundExceeded});
                } else if (boundExceeded) {
                    break;  // this recogniser would answer NO and end the pass
                }
            }
            dispatchSteps_.push_back({kStopPass, true});
        }
    }
}

FoundNode* Scanning::addFoundFile(FoundNode* folder, uint64_t fileSize, uint64_t sectorNumber) {
    ctx.filesFound.fetch_add(1, std::memory_order_relaxed);
    if (folder->fileID() == kNoIdYet) folder->setFileID(nextFileId++);
    auto node = std::make_unique<FoundNode>();
    node->setFileType(FoundNode::kFoundFile);
    node->setParentID(folder->fileID());
    node->setFileID(nextFileId++);
    node->setFileName("file" + std::to_string(folder->childrenCount() + 1) + folder->extension());
    node->setPathName(folder->fileName() + "/" + root_->fileName());
    node->setSectorNumber(sectorNumber);
    node->setExtraBytesToMove(0);
    node->setFileSize(fileSize);
    folder->addToFileSize(fileSize);
    node->setParent(folder);
    root_->addToChildrenCount(1);
    folder->addToChildrenCount(1);
    root_->addToFileCount(1);
    folder->addToFileCount(1);
    return folder->addChild(std::move(node));
}

FoundNode* Scanning::addRawPreview(FoundNode* folder, uint64_t sectorNumber, uint64_t fileSize,
                                       int32_t extraBytesToMove) {
    const int32_t number = folder->childrenCount() + 1;
    FoundNode* node = addFoundFile(folder, fileSize, sectorNumber);
    node->setFileName("file - Raw Jpg" + std::to_string(number) + ".jpg");
    node->setExtraBytesToMove(extraBytesToMove);
    return node;
}

// Files what a recogniser found: the file in its type's folder, and the
// preview JPEG it embeds, when there is one worth filing. A recogniser sizes
// by what the file's own fields say, and a damaged or cut-off file can say
// anything: what runs past the source's end is cut there, and a preview that
// starts past it is not filed at all.
void Scanning::fileMatch(const Registered& entry, const Match& match, uint64_t sectorIndex) {
    const uint64_t start = sectorIndex * sectorSize_;
    if (start >= sourceEnd_) return;
    if (!match.extension.empty()) entry.folder->setExtension(std::string(match.extension));
    addFoundFile(entry.folder, std::min(match.size, sourceEnd_ - start), sectorIndex);
    const Preview& preview = match.preview;
    if (preview.size > 1024 && rawPreviews_ && preview.sector <= sourceEnd_ / sectorSize_) {
        const uint64_t previewStart = preview.sector * sectorSize_ + preview.extraBytes;
        if (previewStart < sourceEnd_)
            addRawPreview(rawPreviews_.get(), preview.sector, std::min(preview.size, sourceEnd_ - previewStart),
                          static_cast<int32_t>(preview.extraBytes));
    }
}

// Offers one sector to the recognisers in registry order: those of its route
// (its first byte, and whether it may be an ISO box).
bool Scanning::offerSector(Probe& probe, const DispatchStep* route, uint64_t& sectorIndex, uint32_t& windowOffset,
                           const uint8_t*& window, uint64_t sectorCount) {
    const uint32_t sectorSize = sectorSize_;
    for (const DispatchStep* next = route;; ++next) {
        const DispatchStep& step = *next;
        if (step.recogniser == kStopPass) break;
        const Registered& entry = registered_[step.recogniser];
        const std::optional<Match> match = entry.recogniser->recognise(probe, sectorIndex);
        if (!match) {
            if (step.stopOnNo) break;
            continue;
        }
        if (match->size != 0) fileMatch(entry, *match, sectorIndex);
        // The recogniser may let the loop jump over what it found (MP3 and MPG
        // do), never beyond the file filed.
        const uint64_t skip = std::min(match->skipPast, match->size);
        if (skip > sectorSize) {
            // Jump to the last whole sector of the file; the loop's own step
            // then moves to the sector after it. A file that reaches the end of
            // the scan, or of the source, ends the scan there.
            const uint64_t n = skip / sectorSize - 1;
            if (n >= sectorCount - 1 - sectorIndex) {
                sectorIndex = sectorCount - 1;
                break;
            }
            sectorIndex += n;
            const uint64_t offset = uint64_t{windowOffset} + n * sectorSize;
            windowOffset = static_cast<uint32_t>(offset & 0xFFFF);
            if (offset >= kWindowSize) {
                const uint64_t windowStart = sectorIndex - windowOffset / sectorSize + 1;
                const int result = activeSource_->readDriveSectors(windowStart, sectorSize, window);
                if (result == -1) return false;
                if (result == 0) {
                    sectorIndex = sectorCount - 1;
                    break;
                }
            }
        }
        // The Nikon file is an NRW: the sector goes on to the NRW recogniser.
        if (match->handOn) continue;
        break;
    }
    return true;
}

// A new tree with its root, and a recogniser and a type folder for every ticked type.
void Scanning::startTree() {
    root_ = std::make_unique<FoundNode>();
    root_->setFileType(FoundNode::kFolder);
    root_->setFileID(FoundNode::kRootID);
    root_->setParentID(1);
    root_->setFileName("ROOT");
    root_->setPathName("");
    nextFileId = 3;

    registered_.clear();
    typeFolders_ = {};
    rawPreviews_.reset();
    noIsoBaseMediaTicked_ = true;
    registerTickedTypes();
    buildDispatch();
}

void Scanning::run() {
    scannedPath_ = ctx.sourcePath;
    ctx.previewSourcePath = scannedPath_;
    sectorSize_ = ctx.sectorSize;
    const uint32_t sectorSize = ctx.sectorSize;
    startTree();

    // The caller's source, or the path opened once for this scan. One that
    // cannot be opened fails the first window read, as a vanished one would.
    Source* const callerSource = ctx.source;
    std::unique_ptr<Source> openedSource;
    if (!callerSource) openedSource = openSource(scannedPath_, sectorSize);
    ctx.source = callerSource ? callerSource : openedSource.get();
    std::optional<WindowSource> windows;
    if (ctx.source) windows.emplace(*ctx.source);
    // A source that cannot tell its size is taken to hold the sectors the scan was given.
    sourceEnd_ = ctx.source && ctx.source->size() != 0 ? ctx.source->size() : ctx.sectorCount * sectorSize;
    activeSource_ = windows ? &*windows : nullptr;
    ScanOutcome::How how = ScanOutcome::Completed;
    const uint8_t* window = nullptr;
    uint8_t probe[kProbeSize];
    Probe probeView(probe);
    uint32_t windowOffset = 0;
    // The loop's sectorCount is where this scan ends: the source's last
    // sector, or the range's.
    const uint64_t sectorCount = std::min(ctx.endSector, ctx.sectorCount);
    uint64_t sectorIndex = ctx.firstSector;

    while (!ctx.cancelled() && sectorIndex < sectorCount) {
        if (ctx.pauseRequested.load(std::memory_order_relaxed)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        if ((windowOffset & 0xFFFF) == 0) {
            const int result = activeSource_ ? activeSource_->readDriveSectors(sectorIndex, sectorSize, window) : -1;
            if (result == -1) {
                controller.notify({NoticeKind::ScanSourceUnreadable, scannedPath_});
                how = ScanOutcome::SourceFailed;
                break;
            }
            if (result == 0) {  // the source ends before the sectors the scan was given do
                sectorIndex = sectorCount;
                break;
            }
            windowOffset = 0;
        }
        const uint8_t* sector = window + (windowOffset & 0xFFFF);
        windowOffset += sectorSize;

        // Most sectors start with a byte no ticked type's header can start
        // with: their route is empty, and nothing is asked or cleared.
        const DispatchStep* route = dispatchSteps_.data() + dispatchBegin_[sector[0] + routeKindOffset_[sector[4]]];
        if (route->recogniser != kStopPass) {
            std::memcpy(probe, sector, kProbeSize);
            probeView.verdict = {};  // what one sector's recognisers leave never reaches the next
            if (!offerSector(probeView, route, sectorIndex, windowOffset, window, sectorCount)) {
                controller.notify({NoticeKind::ScanSourceUnreadable, scannedPath_});
                how = ScanOutcome::SourceFailed;
                ++sectorIndex;  // the skipped file's last sector was reached
                break;
            }
        }
        if (sectorIndex % 10 != 0) {
            ctx.progressSector.store(sectorIndex, std::memory_order_relaxed);
            if (!ctx.progressUpdatePending.load(std::memory_order_relaxed)) {
                ctx.progressUpdatePending.store(true, std::memory_order_relaxed);
                controller.progressChanged();
            }
        }
        ++sectorIndex;
    }
    const uint64_t unreadable = windows ? windows->unreadableSectors() : 0;
    activeSource_ = nullptr;
    ctx.source = callerSource;
    if (how == ScanOutcome::Completed && ctx.cancelled()) how = ScanOutcome::Stopped;
    finishScan({how, sectorIndex - 1, unreadable});
}

void Scanning::finishScan(const ScanOutcome& outcome) {
    uint64_t total = 0;
    auto attach = [&](std::unique_ptr<FoundNode>& folder) {
        if (!folder || folder->childrenCount() < 1) return;
        root_->addToChildrenCount(1);
        total += folder->fileSize();
        root_->addChild(std::move(folder));
    };
    attach(rawPreviews_);
    for (FileType type : kAttachOrder) attach(typeFolders_[index(type)]);
    root_->setFileSize(total);

    registered_.clear();
    typeFolders_ = {};
    rawPreviews_.reset();

    controller.finished(outcome);
}

}  // namespace pelorin
