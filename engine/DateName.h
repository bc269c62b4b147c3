#pragma once
// The date part of generated names (recovery folders, scan-info files): the
// local date and time as "2026-12-05 07:13:00 +0100", cut before its first
// "+", with every ":" made "_" so that the name is usable on any file system.

#include <ctime>
#include <string>

namespace pelorin {

inline std::string dateForGeneratedName(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[64];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local) == 0) return {};
    std::string name = text;
    if (auto plus = name.find('+'); plus != std::string::npos) name.erase(plus);
    for (char& c : name)
        if (c == ':') c = '_';
    return name;
}

}  // namespace pelorin
