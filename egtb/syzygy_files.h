// Finding the Syzygy table files and making sure the prober can read them.
//
// A table is named for its material, the stronger side first: KQvKR.rtbw
// holds win/draw/loss (WDL) for both sides to move, KQvKR.rtbz the distance
// to the next capture or pawn move (DTZ). The library that probes them
// trusts its files completely: an empty file makes it end the program, and a
// truncated or damaged one makes it read past the end of the file. So every
// file is looked at first, the good ones are gathered by symbolic links in a
// private folder, and only that folder is handed to the library.
#pragma once

#include <string>
#include <vector>

// Receives each line the set-up has to say (no line end).
using SyzygyMessage = void (*)(const char* line);

// One material and its files.
struct SyzygyTable {
    std::string name;      // "KQvKR"
    int men = 0;
    int counts[2][7] = {};  // by colour (the side named first is White) and piece type
    std::string wdlPath;   // empty when missing or left out
    std::string dtzPath;
};

// Reads a table name such as "KQvKR": one king a side, each side's pieces in
// the order Q R B N P, at least one piece besides the kings and at most
// SYZYGY_MAX_MEN men. False for anything else.
bool parseSyzygyName(const std::string& name, SyzygyTable& table);

// Why a file cannot be a table of the given kind; null when it looks sound.
// Looked at: a regular file that can be read, a size that is a whole number
// of 64-byte blocks and the 16-byte trailer every table ends with, and the
// four bytes that open every WDL or DTZ table.
const char* syzygyFileFault(const std::string& path, bool dtz);

// The entries of a folder list separated by ',', ';' or ':', blanks around
// each dropped, without empty entries and "<empty>" (what interfaces send
// for "no folder").
std::vector<std::string> splitSyzygyFolders(const char* list);

// The folders of a list separated by ',', ';' or ':' (blanks around an entry
// are dropped; an empty entry and "<empty>", which interfaces send for "no
// folder", are skipped). Every table file of every folder that passes the
// checks above, the first folder holding a name winning; the others are
// reported through `say` and left out, as are entries that are no readable
// folder. A DTZ file counts only beside its WDL file. Ordered by men, then
// name, so that smaller tables come before the larger ones that lead into
// them.
std::vector<SyzygyTable> findSyzygyTables(const char* pathList, SyzygyMessage say);

// A new empty folder of our own for the links (under $TMPDIR or /tmp); empty
// when none can be made.
std::string makeSyzygyFolder();
// Links every file of the tables into the folder under its own name;
// false when a link cannot be made.
bool linkSyzygyFiles(const std::string& folder, const std::vector<SyzygyTable>& tables);
// Removes one link (a file left out after all) or the whole folder.
void unlinkSyzygyFile(const std::string& folder, const std::string& path);
void removeSyzygyFolder(const std::string& folder);
