#pragma once
// One storage medium described by a small string-keyed dictionary of texts and
// numbers: what the drive list, the scan-info files and the command-line tool
// know of a drive or volume.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace pelorin {

// The keys a media dictionary may carry.
namespace mediakey {
inline constexpr std::string_view kDevicePath = "device path";
inline constexpr std::string_view kDeviceSize = "device size";
inline constexpr std::string_view kPreferredBlockSize = "Preferred Block Size";
inline constexpr std::string_view kWhetherVolume = "WhetherVolume";
inline constexpr std::string_view kWhetherSATA = "WhetherSATA";
inline constexpr std::string_view kWhetherUSB = "WhetherUSB";
inline constexpr std::string_view kVendorIdentification = "Vendor Identification";
inline constexpr std::string_view kProductIdentification = "Product Identification";
inline constexpr std::string_view kProductRevisionLevel = "Product Revision Level";
inline constexpr std::string_view kDeviceModel = "device model";
inline constexpr std::string_view kDeviceSerial = "device serial";
inline constexpr std::string_view kDeviceRevision = "device revision";
// A freedesktop icon name ("drive-harddisk", "drive-removable-media", "media-flash", ...).
inline constexpr std::string_view kIconName = "icon name";
// The file system type of a volume ("vfat", "ext4", ...), for information only.
inline constexpr std::string_view kFileSystem = "file system";
}  // namespace mediakey

using MediaValue = std::variant<int64_t, std::string>;

class MediaDictionary {
public:
    using Map = std::map<std::string, MediaValue, std::less<>>;

    void set(std::string_view key, std::string value) { entries_[std::string(key)] = std::move(value); }
    void set(std::string_view key, const char* value) { entries_[std::string(key)] = std::string(value); }
    void set(std::string_view key, int64_t value) { entries_[std::string(key)] = value; }
    void erase(std::string_view key) {
        if (auto it = entries_.find(key); it != entries_.end()) entries_.erase(it);
    }

    bool has(std::string_view key) const { return entries_.find(key) != entries_.end(); }

    // The text under the key; a number is given in decimal.
    std::optional<std::string> text(std::string_view key) const {
        auto it = entries_.find(key);
        if (it == entries_.end()) return std::nullopt;
        if (const auto* s = std::get_if<std::string>(&it->second)) return *s;
        return std::to_string(std::get<int64_t>(it->second));
    }
    // The text under the key, or the empty text when there is none.
    std::string textOrEmpty(std::string_view key) const { return text(key).value_or(std::string()); }

    // The number under the key; a text holding a whole decimal number counts.
    std::optional<int64_t> number(std::string_view key) const;

    // A flag key such as "WhetherUSB": present with a value other than 0.
    bool flag(std::string_view key) const { return number(key).value_or(0) != 0; }

    const Map& entries() const { return entries_; }
    bool operator==(const MediaDictionary&) const = default;

private:
    Map entries_;
};

inline std::optional<int64_t> MediaDictionary::number(std::string_view key) const {
    auto it = entries_.find(key);
    if (it == entries_.end()) return std::nullopt;
    if (const auto* n = std::get_if<int64_t>(&it->second)) return *n;
    const std::string& s = std::get<std::string>(it->second);
    if (s.empty() || s.size() > 18) return std::nullopt;
    int64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace pelorin
