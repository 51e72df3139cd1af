// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/StopSignals.h"

#include <array>
#include <atomic>
#include <csignal>

#include "platform/RuntimeError.h"

#ifdef _WIN32
#include "platform/WindowsApi.h"
#endif

namespace kelmora {

namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void RequestStop(int);

#ifdef _WIN32
constexpr std::array kSignals{SIGINT, SIGTERM, SIGBREAK};
using Disposition = void (*)(int);
std::array<Disposition, kSignals.size()> previous{};
std::atomic<bool> running{false};

void RequestStop(int signal) {
    stopRequested = true;
    // The C run-time library resets a handler once it has run.
    std::signal(signal, RequestStop);
}

// Windows ends the process once this returns, or after five seconds: the run gets that long to
// undo what it made.
BOOL WINAPI OnConsoleClosing(DWORD event) {
    if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT)
        return FALSE;
    stopRequested = true;
    for (int waited = 0; running && waited < 45; ++waited) ::Sleep(100);
    return TRUE;
}

void Catch() {
    running = true;
    for (size_t i = 0; i < kSignals.size(); ++i)
        previous[i] = std::signal(kSignals[i], RequestStop);
    ::SetConsoleCtrlHandler(OnConsoleClosing, TRUE);
}

void Release() {
    ::SetConsoleCtrlHandler(OnConsoleClosing, FALSE);
    for (size_t i = 0; i < kSignals.size(); ++i) std::signal(kSignals[i], previous[i]);
    running = false;
}
#else
constexpr std::array kSignals{SIGINT, SIGTERM, SIGHUP};
std::array<struct sigaction, kSignals.size()> previous{};

void RequestStop(int) {
    stopRequested = true;
}

void Catch() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &previous[i]);
}

void Release() {
    for (size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
}
#endif

}  // namespace

StopOnSignals::StopOnSignals() {
    stopRequested = false;
    Catch();
}

StopOnSignals::~StopOnSignals() {
    Release();
}

bool StopRequested() {
    return stopRequested;
}

void StopIfRequested() {
    if (stopRequested) throw RuntimeError(kUserInterrupt);
}

}  // namespace kelmora
