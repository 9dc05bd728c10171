#include "platform/console.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

int readStandardInput(char* buffer, int size) {
    while (true) {
        ssize_t n = read(STDIN_FILENO, buffer, size_t(size));
        if (n >= 0) return int(n);
        if (errno != EINTR) return -1;
    }
}

bool standardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

int standardInputWaiting() {
    int count = 0;
    if (ioctl(STDIN_FILENO, FIONREAD, &count) == 0 && count > 0) return count;
    pollfd pfd{STDIN_FILENO, POLLIN, 0};
    int ready = poll(&pfd, 1, 0);
    if (ready < 0) return errno == EINTR ? 0 : 1;
    if (ready == 0) return 0;
    // Readable with nothing counted: the writer has gone (or stdin is a file
    // at its end). Report it so that the next read discovers the end.
    return 1;
}

bool terminalHasInput() {
    pollfd pfd{STDIN_FILENO, POLLIN, 0};
    return poll(&pfd, 1, 0) > 0;
}

void waitForSingleKey() {
    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios raw = saved;
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    char key;
    while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {}
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}
