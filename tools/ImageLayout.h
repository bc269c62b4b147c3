#pragma once
// A disk image described in a small text file: its size, what fills it, and
// which files sit at which sectors. The sample image and the end-to-end tests
// are both built from such a description.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pelorin::tools {

struct FillRange {
    uint64_t offset = 0;
    uint64_t length = 0;
    std::string kind;   // "zero", "text" or "random"
    uint64_t seed = 0;  // for "random"
};

struct Placement {
    uint64_t sector = 0;
    std::string file;   // relative to the layout's folder
};

struct ImageLayout {
    uint64_t size = 0;
    uint32_t sectorSize = 512;
    std::vector<FillRange> fills;
    std::vector<Placement> placements;
};

// Lines: "size N", "sector-size N", "fill KIND [SEED]" (whole image),
// "fill-range OFFSET LENGTH KIND [SEED]", "place SECTOR FILE"; '#' starts a comment.
// Throws std::runtime_error on a line it cannot read.
ImageLayout readLayout(const std::filesystem::path& layoutFile);

// Writes the image; files are read relative to `baseDir`.
void buildImage(const ImageLayout& layout, const std::filesystem::path& baseDir, const std::filesystem::path& out);

}  // namespace pelorin::tools
