#include "engine/SplitSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>

namespace pelorin {
namespace {

// The suffix after the last dot: its number in the sequence, or nothing when
// it is not a split suffix. Digits count from their value; letters are
// base 26 ("aa" is 0, "ab" 1).
std::optional<uint64_t> suffixNumber(std::string_view suffix, bool digits) {
    if (suffix.size() < 2 || suffix.size() > 6) return std::nullopt;
    uint64_t number = 0;
    for (char c : suffix) {
        if (digits ? (c < '0' || c > '9') : (c < 'a' || c > 'z')) return std::nullopt;
        number = number * (digits ? 10 : 26) + static_cast<uint64_t>(digits ? c - '0' : c - 'a');
    }
    return number;
}

}  // namespace

std::vector<std::string> SplitSource::segmentNames(const std::string& firstPath) {
    const std::filesystem::path first(firstPath);
    const std::string fileName = first.filename().string();
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return {firstPath};
    const std::string stem = fileName.substr(0, dot + 1);
    const std::string_view suffix = std::string_view(fileName).substr(dot + 1);
    const bool digits = !suffix.empty() && suffix[0] >= '0' && suffix[0] <= '9';
    const std::optional<uint64_t> firstNumber = suffixNumber(suffix, digits);
    if (!firstNumber || *firstNumber > (digits ? 1u : 0u)) return {firstPath};

    // Every name of the same stem and suffix width in the directory, so that
    // a missing segment before the last present one is seen.
    std::map<uint64_t, std::string> found;
    std::error_code error;
    const std::filesystem::path folder = first.has_parent_path() ? first.parent_path() : ".";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != fileName.size() || name.compare(0, stem.size(), stem) != 0) continue;
        const auto number = suffixNumber(std::string_view(name).substr(stem.size()), digits);
        if (number && *number >= *firstNumber) found.emplace(*number, (first.parent_path() / name).string());
    }
    if (found.size() < 2) return {firstPath};
    std::vector<std::string> names;
    names.push_back(firstPath);
    for (uint64_t number = *firstNumber + 1; number <= found.rbegin()->first; ++number) {
        const auto it = found.find(number);
        names.push_back(it == found.end() ? std::string() : it->second);
    }
    return names;
}

std::unique_ptr<SplitSource> SplitSource::open(const std::vector<std::string>& names, uint32_t sectorSize) {
    std::vector<Segment> segments;
    auto closeAll = [&segments] {
        const int error = errno;
        for (const Segment& segment : segments)
            if (segment.fd >= 0) ::close(segment.fd);
        errno = error;
    };
    uint64_t start = 0;
    for (const std::string& name : names) {
        if (name.empty()) {
            const uint64_t size = segments.empty() ? 0 : segments.front().size;
            segments.push_back({-1, start, size});
            start += size;
            continue;
        }
        const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            if (fd >= 0) ::close(fd);
            closeAll();
            return nullptr;
        }
        segments.push_back({fd, start, static_cast<uint64_t>(st.st_size)});
        start += static_cast<uint64_t>(st.st_size);
    }
    if (segments.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    return std::unique_ptr<SplitSource>(new SplitSource(names.front(), start, sectorSize, std::move(segments)));
}

SplitSource::~SplitSource() {
    for (const Segment& segment : segments_)
        if (segment.fd >= 0) ::close(segment.fd);
}

SourceRead SplitSource::read(uint64_t offset, std::span<uint8_t> buffer) {
    SourceRead result;
    // The segment holding the offset: the last one starting at or before it.
    auto segment = std::upper_bound(segments_.begin(), segments_.end(), offset,
                                    [](uint64_t at, const Segment& s) { return at < s.start; });
    if (segment == segments_.begin()) return result;
    --segment;
    while (result.bytes < buffer.size() && segment != segments_.end()) {
        const uint64_t position = offset + result.bytes;
        if (position >= segment->start + segment->size) {
            ++segment;
            continue;
        }
        if (segment->fd < 0) {
            result.error = ENOENT;  // a missing segment: its bytes are unknown, never zeros
            break;
        }
        const std::size_t wanted = static_cast<std::size_t>(
            std::min<uint64_t>(buffer.size() - result.bytes, segment->start + segment->size - position));
        const ssize_t n = ::pread(segment->fd, buffer.data() + result.bytes, wanted,
                                  static_cast<off_t>(position - segment->start));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result.error = errno;
            break;
        }
        if (n == 0) {  // a segment cut shorter since it was opened
            result.error = EIO;
            break;
        }
        result.bytes += static_cast<std::size_t>(n);
    }
    return result;
}

}  // namespace pelorin
