// Where the endgame tablebases are and how much memory their cache may use,
// as the settings file or "egtpath" give them, and how many tables were
// found. The tablebase code owns this record; the search keeps its own copy
// of the men limit for each search.
#pragma once

#include <cstdint>

struct TablebaseSettings {
    char path[1024] = {};     // "tbpath", at most 1023 characters
    uint64_t cacheBytes = 0;  // "tbcache" in bytes
    int count = 0;            // tablebases found; 0 = not set up
};

extern TablebaseSettings gTablebases;
