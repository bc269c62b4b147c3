#pragma once
// Names that reach the file system from a found-file tree. A tree read back
// from a scan-info file comes from outside, so its names must never lead a
// save out of the recovery folder or create unusable entries.

#include <string>
#include <string_view>

namespace pelorin {

// One path component: "/", NUL and control characters become "_", and a
// name that is empty, "." or ".." becomes underscores.
std::string safeFileName(std::string_view name);

// A relative folder path such as "/ROOT": every component made safe as
// above, empty components dropped, joined with "/" without a leading one.
std::string safeRelativePath(std::string_view path);

}  // namespace pelorin
