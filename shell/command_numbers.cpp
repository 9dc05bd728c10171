#include "shell/command_numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// A plain decimal number: digits with at most one point, nothing else (no
// sign, no exponent, no blanks).
bool readDecimal(const char* word, double& out) {
    int digits = 0, points = 0;
    for (const char* p = word; *p; p++) {
        if (*p >= '0' && *p <= '9') digits++;
        else if (*p == '.') points++;
        else return false;
    }
    if (digits == 0 || points > 1) return false;
    out = std::strtod(word, nullptr);
    return std::isfinite(out);
}

}  // namespace

bool readInteger(const char* word, long low, long high, long& out) {
    if (!word || !word[0]) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(word, &end, 10);
    if (*end != '\0' || errno != 0 || value < low || value > high) return false;
    out = value;
    return true;
}

bool readThousandths(const char* word, double high, uint32_t& out) {
    double value;
    if (!word || !readDecimal(word, value) || value > high) return false;
    out = uint32_t(std::llround(value * 1000.0));
    return true;
}

bool readMinutesAndSeconds(const char* word, uint32_t& ms) {
    // A week of thinking is the most any clock is given.
    constexpr double MOST_MINUTES = 7 * 24 * 60;
    if (!word) return false;
    const char* colon = std::strchr(word, ':');
    if (!colon) {
        uint32_t minutes;
        if (!readThousandths(word, MOST_MINUTES, minutes)) return false;
        ms = minutes * 60u;  // thousandths of a minute are 60 ms each
        return true;
    }
    char minutesText[32];
    const size_t length = size_t(colon - word);
    if (length == 0 || length >= sizeof minutesText) return false;
    std::memcpy(minutesText, word, length);
    minutesText[length] = '\0';
    long minutes;
    uint32_t seconds;
    if (!readInteger(minutesText, 0, long(MOST_MINUTES), minutes) || !readThousandths(colon + 1, 59.999, seconds))
        return false;
    ms = uint32_t(minutes) * 60000u + seconds;
    return true;
}
