// Reads of memory-mapped files that may fail. A file mapped into memory
// and cut short afterwards (truncated on disk by another program) turns
// every read of its lost pages into SIGBUS, and one overwritten in place
// can send its reader to addresses outside the mapping (SIGSEGV); either
// would end the engine in the middle of a game. A guarded read runs with a
// per-thread landing point: the signal handler returns there, and the read
// reports failure instead.
#pragma once

#include <csetjmp>

struct FaultLanding {
    sigjmp_buf point;
    volatile bool armed = false;
};
// This thread's landing point.
FaultLanding& faultLanding();
// Installs the handler (once; any thread may call it).
void installFaultGuard();

// Runs `read`; false when a mapped page it touched was gone. The read must
// leave no lock held and nothing half-written that matters if it is cut
// short (a probe that only reads).
template <typename Read>
bool guardedRead(Read&& read) {
    FaultLanding& landing = faultLanding();
    // The mask is not saved: the handler runs with its signal unblocked, so
    // none is left blocked when it jumps back, and the jump needs no
    // system call on the way in.
    if (sigsetjmp(landing.point, 0) != 0) {
        landing.armed = false;
        return false;
    }
    landing.armed = true;
    read();
    landing.armed = false;
    return true;
}
