#include "shell/shell_state.h"

ShellState gShell;
