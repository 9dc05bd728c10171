// Wall-clock milliseconds, as seconds * 1000 + milliseconds in unsigned
// 32-bit arithmetic: differences stay correct across the wrap.
#pragma once

#include <cstdint>

uint32_t timeNow();
