#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace pelorin {

// Sizes as the user sees them: KB below 1 MiB, MB below 1 GiB, GB above.
inline std::string sizeText(uint64_t bytes) {
    char text[64];
    if (bytes < 1048576ULL)
        std::snprintf(text, sizeof text, "%0.2f KB", double(bytes) / 1024.0);
    else if (bytes < 1073741824ULL)
        std::snprintf(text, sizeof text, "%0.2f MB", double(bytes) / 1048576.0);
    else
        std::snprintf(text, sizeof text, "%0.2f GB", double(bytes) / 1073741824.0);
    return text;
}

}  // namespace pelorin
