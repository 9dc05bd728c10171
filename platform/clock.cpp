#include "platform/clock.h"

#include <ctime>

uint32_t timeNow() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return uint32_t(ts.tv_sec) * 1000u + uint32_t(ts.tv_nsec / 1000000);
}
