#pragma once
// The running tick totals of the tree in hand: how many found files are
// ticked and how many bytes they hold. The application owns one and passes it
// to every tick change, to saving and to the scan-info file.

#include <cstdint>

namespace pelorin {

struct SelectionTotals {
    int32_t tickedFiles = 0;
    uint64_t tickedBytes = 0;

    void reset() { *this = {}; }
};

}  // namespace pelorin
