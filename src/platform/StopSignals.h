// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// SIGINT, SIGTERM and SIGHUP (Ctrl+C, a kill, a closed terminal; on Windows the console's Ctrl+C,
// Ctrl+Break and closing) would end the program between two steps of a run that is changing the
// game folder. While a run holds a StopOnSignals they only ask it to stop: the run looks at each
// of its steps and undoes what it made, as a failed run does.
namespace kelmora {

// One at a time. Taking it forgets an earlier request; dropping it lets the signals end the
// program again.
class StopOnSignals {
public:
    StopOnSignals();
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
};

// Whether one of those signals came since the StopOnSignals was taken.
bool StopRequested();

// Raises the run-time error of a stopped run (18, "User interrupt occurred") when a stop was
// requested.
void StopIfRequested();

}  // namespace kelmora
