#include "egtb/syzygy_check.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "egtb/syzygy_probe.h"
#include "platform/clock.h"

namespace {

// A table whose probes take this long without a word from the child is
// taken to have hung it. Generous: a large table on a slow disk needs a few
// seconds for the reads of the trial.
constexpr int STALL_MS = 60000;

// What the child says: the table and file it starts on, then that it is done.
constexpr uint32_t TRIAL_DONE = 0xffffffffu;
uint32_t step(size_t table, bool dtz) { return uint32_t(table) * 2 + (dtz ? 1 : 0); }

bool writeWord(int fd, uint32_t word) { return ::write(fd, &word, sizeof word) == ssize_t(sizeof word); }

[[noreturn]] void runTrial(const std::vector<SyzygyTable>& tables, size_t first, const std::string& folder, int out) {
    // Nothing the library prints in here may reach the interface.
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
        ::dup2(null, 1);
        ::dup2(null, 2);
    }
    startSyzygyProber(folder.c_str());
    auto scratch = std::make_unique<Board>();
    const uint32_t end = timeNow() + SYZYGY_TRIAL_BUDGET_MS;
    size_t stepsLeft = 0;
    for (size_t i = first; i < tables.size(); i++) stepsLeft += tables[i].dtzPath.empty() ? 1 : 2;
    auto deadline = [&] {
        const uint32_t now = timeNow();
        const uint32_t left = int32_t(end - now) > 0 ? end - now : 0;
        return now + std::max<uint32_t>(1, left / uint32_t(std::max<size_t>(1, stepsLeft--)));
    };
    for (size_t i = first; i < tables.size(); i++) {
        if (!writeWord(out, step(i, false))) ::_exit(2);
        if (!touchSyzygyTable(tables[i], false, SYZYGY_TRIAL_WDL_SAMPLES, *scratch, true, deadline()))
            ::_exit(3);
        if (tables[i].dtzPath.empty()) continue;
        if (!writeWord(out, step(i, true))) ::_exit(2);
        if (!touchSyzygyTable(tables[i], true, SYZYGY_TRIAL_DTZ_SAMPLES, *scratch, true, deadline())) ::_exit(3);
    }
    writeWord(out, TRIAL_DONE);
    // No exit handlers, no flushing of buffers copied from the parent.
    ::_exit(0);
}

// Reads the child's words until it ends or stalls. Returns whether it
// finished; `last` is the last step it began (TRIAL_DONE when none).
bool followTrial(pid_t child, int in, uint32_t& last) {
    last = TRIAL_DONE;
    bool finished = false;
    for (;;) {
        pollfd p{in, POLLIN, 0};
        const int ready = ::poll(&p, 1, STALL_MS);
        if (ready <= 0) {
            ::kill(child, SIGKILL);
            break;
        }
        uint32_t word;
        const ssize_t n = ::read(in, &word, sizeof word);
        if (n != ssize_t(sizeof word)) break;  // the child is gone
        if (word == TRIAL_DONE) finished = true;
        else last = word;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    return finished && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool trySyzygyTables(std::vector<SyzygyTable>& tables, const std::string& folder, SyzygyMessage say) {
    size_t first = 0;
    while (first < tables.size()) {
        int fds[2];
        if (::pipe(fds) != 0) return false;
        std::fflush(stdout);
        const pid_t child = ::fork();
        if (child < 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            return false;
        }
        if (child == 0) {
            ::close(fds[0]);
            runTrial(tables, first, folder, fds[1]);
        }
        ::close(fds[1]);
        uint32_t last;
        const bool finished = followTrial(child, fds[0], last);
        ::close(fds[0]);
        if (finished) break;
        if (last == TRIAL_DONE) return false;  // it failed before any table: no trial

        const size_t index = last / 2;
        const bool dtz = last & 1;
        SyzygyTable& table = tables[index];
        const std::string& bad = dtz ? table.dtzPath : table.wdlPath;
        char line[4200];
        std::snprintf(line, sizeof line, "Syzygy: leaving out %s: damaged (a trial of the prober failed on it)",
                      bad.c_str());
        say(line);
        unlinkSyzygyFile(folder, bad);
        if (dtz) {
            table.dtzPath.clear();
            first = index + 1;
        } else {
            // Without its WDL file the prober cannot use the table at all.
            if (!table.dtzPath.empty()) {
                std::snprintf(line, sizeof line, "Syzygy: leaving out %s: its WDL table is damaged",
                              table.dtzPath.c_str());
                say(line);
                unlinkSyzygyFile(folder, table.dtzPath);
            }
            tables.erase(tables.begin() + long(index));
            first = index;
        }
    }
    return true;
}
