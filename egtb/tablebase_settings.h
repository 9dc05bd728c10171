// Where the endgame tablebases are and how much memory their cache may use,
// as the settings file or "egtpath" give them, and how many tables were
// found. The tablebase code owns this record; the search keeps its own copy
// of the men limits for each search.
#pragma once

#include <cstdint>

// Syzygy tables hold up to seven men.
constexpr int SYZYGY_MAX_MEN = 7;
// The plies left to search from which Syzygy's tables are probed: from 1,
// every node of the main search (the quiescence search never probes), to
// 100, hardly ever below the root.
constexpr int SYZYGY_MIN_PROBE_DEPTH = 1;
constexpr int SYZYGY_MAX_PROBE_DEPTH = 100;

struct TablebaseSettings {
    // Our own tables.
    char path[1024] = {};     // "tbpath", at most 1023 characters
    uint64_t cacheBytes = 0;  // "tbcache" in bytes
    int count = 0;            // tablebases found; 0 = not set up

    // Syzygy tables.
    char syzygyPath[1024] = {};  // folders as last given ("syzygy_path", "egtpath syzygy")
    int syzygyMen = 0;           // men of the largest Syzygy table in use; 0 = none
    // A win that needs more than fifty moves without a capture or a pawn
    // move is a draw by the rule, and a loss likewise a draw, unless the
    // user turns the rule off (games played without it).
    bool syzygy50MoveRule = true;
    // Syzygy tables are probed only for positions of at most this many men.
    int syzygyProbeLimit = SYZYGY_MAX_MEN;
    // Syzygy probes only where this many plies or more are left to search
    // ("syzygy_probe_depth", UCI SyzygyProbeDepth): a slow disk is spared
    // the many probes of the last plies, where each costs most.
    int syzygyProbeDepth = SYZYGY_MIN_PROBE_DEPTH;
};

extern TablebaseSettings gTablebases;
