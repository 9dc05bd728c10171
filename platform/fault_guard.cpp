#include "platform/fault_guard.h"

#include <csignal>
#include <mutex>

namespace {

thread_local FaultLanding landing;

void onBusError(int signal, siginfo_t*, void*) {
    if (landing.armed) {
        landing.armed = false;
        siglongjmp(landing.point, 1);
    }
    // Not a guarded read: the fault is a real one, and ends the program as
    // it would have without us.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

FaultLanding& faultLanding() { return landing; }

void installFaultGuard() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action = {};
        action.sa_sigaction = onBusError;
        // SA_NODEFER: the handler leaves by a jump, not a return, so the
        // signal must not stay blocked behind it.
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, nullptr);
    });
}
