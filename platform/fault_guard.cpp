#include "platform/fault_guard.h"

#include <csignal>
#include <mutex>

namespace {

thread_local FaultLanding landing;

// What handled each signal before us (the default, or a sanitizer's).
struct sigaction previousBusError = {}, previousSegmentFault = {};

void onMemoryFault(int signal, siginfo_t*, void*) {
    if (landing.armed) {
        landing.armed = false;
        siglongjmp(landing.point, 1);
    }
    // Not a guarded read: the fault is a real one. The handler before ours
    // is put back and the faulting instruction runs again under it, so the
    // program ends (or a sanitizer reports) as it would have without us.
    const struct sigaction& previous = signal == SIGBUS ? previousBusError : previousSegmentFault;
    sigaction(signal, &previous, nullptr);
    if (previous.sa_handler == SIG_DFL || previous.sa_handler == SIG_IGN) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

}  // namespace

FaultLanding& faultLanding() { return landing; }

void installFaultGuard() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action = {};
        action.sa_sigaction = onMemoryFault;
        // SA_NODEFER: the handler leaves by a jump, not a return, so the
        // signal must not stay blocked behind it.
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        // SIGBUS: a page beyond the end of a file cut short. SIGSEGV: a file
        // overwritten in place, whose new bytes send the reader to offsets
        // outside its mapping.
        sigaction(SIGBUS, &action, &previousBusError);
        sigaction(SIGSEGV, &action, &previousSegmentFault);
    });
}
