// Finding, registering and reading the table files: the registry of table
// sides, the count tree that turns material into a table number, the pool
// of decode areas and the value probe through the block cache.
//
// Files are looked for as <directory>/<name>.nbw (White to move) and
// <name>.nbb (Black to move), uncompressed, or compressed as
// <name>.nbw.emd, <name>_nbw.emd or <name>nbw.emd.
#pragma once

#include <cstddef>
#include <cstdint>

// Paths are built in a buffer of this many characters; a directory too long
// for it is skipped.
constexpr size_t TB_PATH_BUFFER = 256;

// Registers the tables found in the directories of `pathList` (separated by
// ',' or ';'; the first directory holding a file wins) and returns the size
// in men of the largest one: 0 (none), 3, 4, 5 or 6. Every earlier
// registration is dropped first. `processors` is the number of search
// threads that may decompress at once. A corrupt or unreadable file prints a
// message; with `fatalErrors` (start-up) the program then ends with status
// 1, otherwise only that file is left out.
int initTablebases(const char* pathList, int processors, bool fatalErrors);

// Hands the registry a cache area (closing every open file and emptying the
// cache); returns whether a cache is in use. Fewer than 8284 bytes (one
// block) leave none.
bool setTablebaseCache(void* area, size_t bytes);

// The value of entry `index` of a table side (16-bit, see
// tablebase_values.h); TB_NOT_AVAILABLE when the side is not registered, no
// cache is set or the block cannot be read (the side is then dropped).
int probeTableValue(int table, int side, uint32_t index);

// The table number for a material in count-tree order (White pawns,
// knights, bishops, rooks, queens, then Black's): positive for the table as
// named, negative when the material is the table's with colours exchanged, 0
// when no registered table has it.
int lookupCountTree(const int counts[10]);

// Whether a table side's file is registered (a symmetric table has only
// side 0).
bool tableSideRegistered(int table, int side);

// Number of compressed files registered by the last initialisation.
int compressedTableCount();

// Whether a registered file has been removed, replaced, cut short or
// written to since it was registered (one stat a file).
bool tablebaseFilesChanged();

// Whether a read has failed (and dropped its table side) since the last
// call; clears the mark.
bool takeTablebaseReadFault();

// Closes the open table files and drops every registration.
void releaseTablebases();
