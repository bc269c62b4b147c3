// Assembles a disk image from a layout file: pelorin-mkimage OUT LAYOUT

#include <cstdio>
#include <exception>

#include "tools/ImageLayout.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pelorin-mkimage OUT.img LAYOUT.txt\n");
        return 2;
    }
    try {
        const std::filesystem::path layoutFile = argv[2];
        auto layout = pelorin::tools::readLayout(layoutFile);
        pelorin::tools::buildImage(layout, layoutFile.parent_path(), argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pelorin-mkimage: %s\n", e.what());
        return 1;
    }
    return 0;
}
