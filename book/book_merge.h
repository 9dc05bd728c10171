// The second half of building a book: the sorted run files merged into a
// new book.bin.
#pragma once

#include <string>

// The run files "book.0", "book.1", ... beside the book.
std::string runFileName(int run);
void removeRunFiles(int runs);

// Merges the `runs` sorted run files into book.bin: equal keys summed, moves
// that did badly (wins not above half the losses) dropped, the index and
// the trailer written. The new book is written to a temporary file that
// replaces book.bin only when every write succeeded, so a failed merge
// leaves the old book as it was. The run files are removed in every case.
// Returns whether book.bin was replaced; the new book is opened.
bool mergeRunFiles(int runs);
