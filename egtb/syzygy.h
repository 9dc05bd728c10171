// The Syzygy tables in use: setting them up from a list of folders and
// dropping them again. Probing is in syzygy_probe.h.
#pragma once

#include "egtb/syzygy_files.h"

// Drops the tables in use, then finds, checks and sets up the tables in the
// folders of `pathList` (see findSyzygyTables), reporting through `say`
// what was left out and what is in use. Returns the men of the largest
// table now in use; 0 for none. Only outside a search.
int setUpSyzygy(const char* pathList, SyzygyMessage say);

// Drops the tables in use (and the folder of links to them).
void releaseSyzygy();

// Men of the largest table in use; 0 for none.
int syzygyLargestMen();
