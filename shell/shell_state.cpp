#include "shell/shell_state.h"

#include "book/book_state.h"
#include "eval/eval_settings.h"
#include "search/output.h"

ShellState gShell;

void shareShellSettings() {
    gOutput.xboard = gShell.xboardMode;
    gOutput.epdtest = gShell.epdtest;
    gOutput.computerOpponent = gShell.computerOpponent;
    gEvalSettings.computerOpponent = gShell.computerOpponent;
    gEvalSettings.bookLeft = gBook.missCount > 0;
}
