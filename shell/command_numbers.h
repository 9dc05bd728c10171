// Reading the numbers of command arguments. Interfaces send more than whole
// numbers: xboard's "level 0 0:30 0.1" gives a base of thirty seconds and a
// tenth of a second per move, and "st 0.5" half a second. A word that is no
// number (or out of range) is refused, so that a command is never run with
// a value the sender did not mean.
#pragma once

#include <cstdint>

// A whole decimal number within [low, high], the whole word.
bool readInteger(const char* word, long low, long high, long& out);
// A decimal number ("0.1", "30", "2.") not below 0 and at most `high`, in
// thousandths (seconds to milliseconds).
bool readThousandths(const char* word, double high, uint32_t& out);
// Minutes, or minutes and seconds ("5", "0:30", "1:30.5", "0.5"), in
// milliseconds.
bool readMinutesAndSeconds(const char* word, uint32_t& ms);
