#include "platform/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace {

// A terminal line is rewritten often enough to look alive; a log gets a
// line every few seconds, enough to show the work goes on without burying
// the lines that matter.
constexpr double REWRITE_INTERVAL = 0.25;
constexpr double LOG_INTERVAL = 3.0;
// Before this share of the work is done the time left is a guess from too
// little, and is not shown.
constexpr double LEAST_SHARE_FOR_ESTIMATE = 0.005;

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void startProgressLine(ProgressLine& line, FILE* out) {
    line.out = out;
    line.rewrite = isatty(fileno(out));
    line.start = line.shown = secondsNow();
    line.width = 0;
}

bool progressDue(const ProgressLine& line) {
    return line.out && secondsNow() - line.shown >= (line.rewrite ? REWRITE_INTERVAL : LOG_INTERVAL);
}

void showProgress(ProgressLine& line, const std::string& what, double done) {
    if (!line.out) return;
    line.shown = secondsNow();
    done = std::clamp(done, 0.0, 1.0);
    const double elapsed = line.shown - line.start;
    std::string text = what + "  -  " + std::to_string(int(done * 100)) + "% in all";
    if (done >= LEAST_SHARE_FOR_ESTIMATE) text += ", about " + durationText(elapsed * (1 - done) / done) + " left";
    if (line.rewrite) {
        // Blanks over what is left of a longer line before.
        const size_t width = text.size();
        if (width < line.width) text.append(line.width - width, ' ');
        std::fprintf(line.out, "\r%s", text.c_str());
        line.width = width;
    } else {
        std::fprintf(line.out, "%s\n", text.c_str());
    }
    std::fflush(line.out);
}

void clearProgressLine(ProgressLine& line) {
    if (!line.out || !line.rewrite || line.width == 0) return;
    std::fprintf(line.out, "\r%s\r", std::string(line.width, ' ').c_str());
    std::fflush(line.out);
    line.width = 0;
}

std::string durationText(double seconds) {
    const long s = std::max(1L, long(seconds + 0.5));  // "about 0 s" reads as done
    char text[32];
    if (s < 60) std::snprintf(text, sizeof text, "%ld s", s);
    else if (s < 3600) std::snprintf(text, sizeof text, "%ld min %ld s", s / 60, s % 60);
    else std::snprintf(text, sizeof text, "%ld h %02ld min", s / 3600, s % 3600 / 60);
    return text;
}
