#include "recovery/SafeNames.h"

namespace pelorin {

std::string safeFileName(std::string_view name) {
    std::string safe(name);
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7F) c = '_';
    }
    if (safe.empty()) return "_";
    if (safe == "." || safe == "..") return std::string(safe.size(), '_');
    return safe;
}

std::string safeRelativePath(std::string_view path) {
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) {
            if (!out.empty()) out += '/';
            out += safeFileName(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return out;
}

}  // namespace pelorin
