#pragma once
// How a scan ended, handed to its controller with the tree.

#include <cstdint>

namespace pelorin {

struct ScanOutcome {
    enum How {
        Completed,     // every sector was offered
        Stopped,       // the user stopped it
        SourceFailed,  // the source went away; the tree holds what was found before
    };
    How how = Completed;
    // The last sector the loop reached: one below the sector it would have
    // looked at next (so all ones when it looked at none). A scan that reached
    // the end of its source, or jumped over a file that runs past it, ends at
    // the last sector it was given.
    uint64_t lastSector = 0;
    // Sectors the scan could not read and took as zeros (a failing device).
    uint64_t unreadableSectors = 0;
};

}  // namespace pelorin
