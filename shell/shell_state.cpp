#include "shell/shell_state.h"

#include "book/book_state.h"
#include "eval/eval_settings.h"
#include "shell/reporters.h"

ShellState gShell;

void shareShellSettings() {
    useProtocolReporter();
    gEvalSettings.computerOpponent = gShell.computerOpponent;
    gEvalSettings.bookLeft = gBook.missCount > 0;
}
