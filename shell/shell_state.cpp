#include "shell/shell_state.h"

#include <algorithm>

#include "book/book_state.h"
#include "egtb/tablebase_probe.h"
#include "egtb/tablebase_settings.h"
#include "eval/eval_settings.h"
#include "search/output.h"
#include "search/search_shared.h"

ShellState gShell;

void shareShellSettings() {
    gOutput.xboard = gShell.xboardMode;
    gOutput.uci = gShell.uciMode;
    gOutput.epdtest = gShell.epdtest;
    gOutput.computerOpponent = gShell.computerOpponent;
    gEvalSettings.computerOpponent = gShell.computerOpponent;
    gEvalSettings.bookLeft = gBook.missCount > 0;
    // The largest tables set up now: "egtpath" or "cores" may have changed them.
    gSearch.tablebaseMenLimit = tablebaseMaxMen();
    gSearch.syzygyMenLimit = std::min(gTablebases.syzygyMen, gTablebases.syzygyProbeLimit);
    gSearch.syzygy50MoveRule = gTablebases.syzygy50MoveRule;
}
