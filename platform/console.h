// Standard input as the operating system sees it: raw reads, whether it is a
// terminal, how much is waiting, and a single key read without echo.
#pragma once

// read(2) on standard input: bytes read, 0 at the end of input, -1 on error.
int readStandardInput(char* buffer, int size);
bool standardInputIsTerminal();
// Bytes waiting on a pipe or file, never blocking: the count when known,
// 1 when the next read would return at once without a count (end of input,
// an error, or a failed query), 0 when nothing is waiting.
int standardInputWaiting();
// A complete line has been typed at the terminal (canonical mode delivers
// input line by line).
bool terminalHasInput();
// Waits for one key press at the terminal without echo and without Enter.
void waitForSingleKey();
