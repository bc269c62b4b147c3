#include "tools/ImageLayout.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace pelorin::tools {
namespace {

constexpr std::string_view kText =
    "Pelorin sample disk: ordinary text between the pictures, as a camera card or an old disk holds "
    "fragments of documents, logs and deleted files. ";

void fill(std::vector<uint8_t>& image, const FillRange& range) {
    const uint64_t end = std::min<uint64_t>(image.size(), range.offset + range.length);
    uint64_t state = range.seed * 0x9E3779B97F4A7C15ULL + 0x2545F4914F6CDD1DULL;
    for (uint64_t i = range.offset; i < end; ++i) {
        if (range.kind == "zero") {
            image[i] = 0;
        } else if (range.kind == "text") {
            image[i] = static_cast<uint8_t>(kText[i % kText.size()]);
        } else {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            image[i] = static_cast<uint8_t>(state >> 24);
        }
    }
}

}  // namespace

ImageLayout readLayout(const std::filesystem::path& layoutFile) {
    std::ifstream in(layoutFile);
    if (!in) throw std::runtime_error("cannot read " + layoutFile.string());
    ImageLayout layout;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword)) continue;
        bool ok = true;
        if (keyword == "size") {
            ok = bool(words >> layout.size);
        } else if (keyword == "sector-size") {
            ok = bool(words >> layout.sectorSize);
        } else if (keyword == "fill") {
            FillRange range{0, UINT64_MAX, "", 0};
            ok = bool(words >> range.kind);
            words >> range.seed;
            layout.fills.push_back(range);
        } else if (keyword == "fill-range") {
            FillRange range;
            ok = bool(words >> range.offset >> range.length >> range.kind);
            words >> range.seed;
            layout.fills.push_back(range);
        } else if (keyword == "place") {
            Placement placement;
            ok = bool(words >> placement.sector >> placement.file);
            layout.placements.push_back(placement);
        } else {
            ok = false;
        }
        if (!ok) throw std::runtime_error(layoutFile.string() + ":" + std::to_string(lineNumber) + ": cannot read");
    }
    return layout;
}

void buildImage(const ImageLayout& layout, const std::filesystem::path& baseDir, const std::filesystem::path& out) {
    std::vector<uint8_t> image(layout.size, 0);
    for (const FillRange& range : layout.fills) fill(image, range);
    for (const Placement& placement : layout.placements) {
        std::ifstream file(baseDir / placement.file, std::ios::binary);
        if (!file) throw std::runtime_error("cannot read " + (baseDir / placement.file).string());
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
        const uint64_t offset = placement.sector * layout.sectorSize;
        if (offset + bytes.size() > image.size())
            throw std::runtime_error(placement.file + " does not fit at sector " + std::to_string(placement.sector));
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!file) throw std::runtime_error("cannot write " + out.string());
}

}  // namespace pelorin::tools
