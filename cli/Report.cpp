#include "cli/Report.h"

#include <fstream>
#include <nlohmann/json.hpp>

#include "engine/SizeText.h"

namespace pelorin::cli {
namespace {

void addNodes(nlohmann::ordered_json& nodes, const FoundNode& node, uint32_t sectorSize,
              const std::map<const FoundNode*, SavedFile>& saved) {
    nlohmann::ordered_json entry = {{"fileID", node.fileID()},
                                    {"parentID", node.parentID()},
                                    {"fileType", node.fileType()},
                                    {"fileName", node.fileName()},
                                    {"pathName", node.pathName()},
                                    {"sectorNumber", node.sectorNumber()},
                                    {"extraBytesToMove", node.extraBytesToMove()},
                                    {"fileSize", node.fileSize()}};
    if (node.fileType() == FoundNode::kFoundFile) {
        if (const auto offset = byteOffsetOf(node, sectorSize)) entry["byteOffset"] = *offset;
        // A file put back together: where each of its pieces lies, in file order.
        if (node.isReassembled()) {
            nlohmann::ordered_json pieces = nlohmann::ordered_json::array();
            for (const ByteRun& piece : node.pieces())
                pieces.push_back({{"offset", piece.offset}, {"length", piece.length}});
            entry["pieces"] = std::move(pieces);
        }
        if (const auto file = saved.find(&node); file != saved.end()) entry["sha256"] = toHex(file->second.sha256);
    }
    nodes.push_back(std::move(entry));
    for (const auto& child : node.children()) addNodes(nodes, *child, sectorSize, saved);
}

// Raised whenever a field changes meaning or goes away; new fields keep it.
constexpr int kReportVersion = 1;

const char* plural(uint64_t count) { return count == 1 ? "file" : "files"; }

}  // namespace

void printTree(std::FILE* out, const FoundNode& root, bool listFiles) {
    if (root.children().empty()) {
        std::fprintf(out, "No files found.\n");
        return;
    }
    for (const auto& folder : root.children()) {
        std::fprintf(out, "%-22s %8u %-5s %12s\n", folder->fileName().c_str(), folder->fileCount(),
                     plural(folder->fileCount()), sizeText(folder->fileSize()).c_str());
        if (!listFiles) continue;
        for (const auto& file : folder->children()) {
            std::fprintf(out, "    %-26s sector %-12llu", file->fileName().c_str(),
                         static_cast<unsigned long long>(file->sectorNumber()));
            if (file->extraBytesToMove() != 0) std::fprintf(out, " +%d", file->extraBytesToMove());
            std::fprintf(out, " %12s\n", sizeText(file->fileSize()).c_str());
        }
    }
    std::fprintf(out, "%-22s %8u %-5s %12s\n", "Total", root.fileCount(), plural(root.fileCount()),
                 sizeText(root.fileSize()).c_str());
}

bool writeReport(const std::string& path, const SourceInfo& source, const FoundNode& root, bool stopped,
                 std::string& error, uint64_t unreadableSectors,
                 const std::map<const FoundNode*, SavedFile>& saved) {
    nlohmann::ordered_json report;
    report["version"] = kReportVersion;
    report["source"] = source.path;
    report["sectorSize"] = source.sectorSize;
    report["sectorCount"] = source.sectorCount;
    report["stopped"] = stopped;
    // Only a failing source has any, and reports of sound ones stay as they were.
    if (unreadableSectors != 0) report["unreadableSectors"] = unreadableSectors;
    report["nodes"] = nlohmann::ordered_json::array();
    addNodes(report["nodes"], root, source.sectorSize, saved);
    std::ofstream file(path);
    if (file) file << report.dump(2) << '\n';
    if (!file) {
        error = "cannot write the report to " + path;
        return false;
    }
    return true;
}

}  // namespace pelorin::cli
