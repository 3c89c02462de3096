// What can still be read of a damaged spool file, written into a fresh one: waiting messages
// in their order (by a scan and, past a damaged page, through the MID index), set-aside
// messages and notices as far as a scan reaches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace gw {

struct SalvageCount {
    std::int64_t carried = 0;
    std::vector<std::string> lost; // MIDs named by the index whose messages could not be read
    std::int64_t unnamed = 0;      // lost beyond the first `maxNames`
    bool unknown = false;          // a part could be read neither way: more may be lost
    bool setAsideUnread = false;   // the messages set aside could not all be read
};

// Reads `damaged` (which it may set to tolerate a short file) and writes what it finds into
// `fresh`, whose tables exist; false when `fresh` could not keep it.
bool salvageSpool(sqlite3* damaged, sqlite3* fresh, std::size_t maxNames, SalvageCount& count);

} // namespace gw
