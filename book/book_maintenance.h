// Two reports on book.bin for the console: its size, and a check that no
// move is stored twice.
#pragma once

// "book.bin", its size in bytes (whole 32-byte chunks) and its number of
// records.
void showBookInfo();
// Lists every record whose key occurs more than once. One pass: the
// records are sorted, so equal keys are neighbours.
void testBookForDuplicates();
