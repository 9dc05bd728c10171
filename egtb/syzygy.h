// The Syzygy tables in use: setting them up from a list of folders and
// dropping them again. Probing is in syzygy_probe.h.
#pragma once

#include "egtb/syzygy_files.h"

// Finds, checks and sets up the tables in the folders of `pathList` (see
// findSyzygyTables) in place of those in use, reporting through `say` what
// was left out and what is in use. A list in which no table can be used
// leaves the tables in use as they were and returns false (interfaces send
// their own default folder whether it exists or not); an empty list drops
// them. Only outside a search.
bool setUpSyzygy(const char* pathList, SyzygyMessage say);

// Drops the tables in use (and the folder of links to them).
void releaseSyzygy();

// Whether a file of the tables in use has been removed, replaced, cut
// short or written to since it was set up (one stat a file).
bool syzygyFilesChanged();

// Men of the largest table in use; 0 for none.
int syzygyLargestMen();

// The line that reports the tables in use.
const char* syzygySummary();
