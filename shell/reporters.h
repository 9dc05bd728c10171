// How each protocol says what the search reports (search/reporter.h): the
// console's columns for a person, xboard's thinking lines, UCI's "info"
// lines. The shell installs the one of the protocol in use before every
// search and whenever the protocol changes.
#pragma once

#include "search/reporter.h"

extern const Reporter consoleReporter;
extern const Reporter xboardReporter;
extern const Reporter uciReporter;

// Installs the reporter of the shell's current protocol and mode.
void useProtocolReporter();

// The console's statistics block of a finished search, as printed after
// each move (also written into `buffer`, 512 bytes).
void formatStatistics(const StatisticsReport& report, char* buffer);
