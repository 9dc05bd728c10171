// Start-up settings from the optional file Tarno.ini in the working
// directory, and the set-up of the tables whose sizes it gives: the
// transposition and pawn hash tables and the tablebases.
#pragma once

#include <cstddef>
#include <cstdint>

#include "search/search_shared.h"  // MAX_THREAD_COUNT

constexpr const char* CONFIG_FILE_NAME = "Tarno.ini";

// "resign_score" and "n_cpus" into gShell; run before the thread records are
// made. A missing file or key keeps the defaults.
void readStartupSettings();

// Allocates both hash tables, zero-filled. With fromFile the sizes may come
// from the file's "[Hash Table Section]"; otherwise, and for missing keys,
// from gShell's megabyte settings. A table that cannot be had ends the
// process with status -1 (start-up only).
void setupHashTables(bool fromFile);

// The "hash" command: both tables made anew with the given megabytes. On
// failure an error line is printed and the running tables stay; returns
// whether the tables were replaced.
bool resizeHashTables(int64_t transpositionMB, int64_t pawnMB);

// The "hash" command line: word count and the two size words. Sizes below
// one megabyte get the usage line.
void commandHash(int wordCount, const char* transpositionWord, const char* pawnWord);

// The tablebases with the given directory, or with the file's "tbpath" when
// pathOrNull is null; the cache size comes from the file's "tbcache". Does
// nothing but say so while tablebases are set up. A damaged table file ends
// the program at start-up; later ("egtpath", "cores") it is only left out.
void setupTablebases(const char* pathOrNull, bool atStartUp = false);

// The Syzygy settings of the file: "syzygy_50_move_rule" (0, false, off or
// no: wins and losses beyond the fifty-move rule count as such) and
// "syzygy_probe_limit" (most men probed, 0 to 7). Missing keys keep the
// settings.
void readSyzygySettings();

// The Syzygy tables of the given folders (separated by ',', ';' or ':'), or
// of the file's "syzygy_path" when pathOrNull is null, in place of those in
// use (the same folders again, or folders without a usable table, keep
// them; an empty list drops them). What was left out and what is in use is
// printed. True when the tables in use changed: scores the search stored
// with the old ones are then stale.
bool setupSyzygy(const char* pathOrNull);

// Drops the tablebases and sets them up again from the same folders, as a
// change of the thread count needs (the decode areas are one per thread).
void resetTablebases();
// Before a search: when a table file in use (Syzygy or our own) failed a
// read under the last search, or has been removed, replaced, cut short or
// written to on disk since set-up, says so and sets that kind of table up
// again from the same folders; what is no longer a sound table is left out,
// the rest plays on.
void recheckTableFiles();

// The "ht" listing of both tables' sizes.
void showHashInfo();

// The text of the "EGTB cache memory" line for a cache of `bytes` bytes.
void formatTablebaseCacheLine(uint64_t bytes, char* out, size_t size);

