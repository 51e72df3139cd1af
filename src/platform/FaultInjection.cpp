#include "platform/FaultInjection.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>

#include "platform/RuntimeError.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace kelmora::faults {

namespace {

enum class Mode { kCount, kFail, kKill };

std::atomic<bool> armed{false};

struct State {
    std::mutex mutex;
    Mode mode = Mode::kCount;
    std::uint64_t count = 0;
    std::uint64_t at = 0;
    int errorNumber = 0;
    std::string struck;
};

State& Current() {
    static State state;
    return state;
}

void Arm(Mode mode, std::uint64_t at, int errorNumber) {
    State& state = Current();
    std::lock_guard lock(state.mutex);
    state.mode = mode;
    state.count = 0;
    state.at = at;
    state.errorNumber = errorNumber;
    state.struck.clear();
    armed.store(true, std::memory_order_relaxed);
}

int ErrnoOf(int errorNumber) {
    switch (errorNumber) {
        case kDiskFull:
            return ENOSPC;
        case kPermissionDenied:
            return EACCES;
        case kFileNotFound:
            return ENOENT;
        default:
            return EIO;
    }
}

}  // namespace

void Count() {
    Arm(Mode::kCount, 0, 0);
}
void FailAt(std::uint64_t at, int errorNumber) {
    Arm(Mode::kFail, at, errorNumber);
}
void KillAt(std::uint64_t at) {
    Arm(Mode::kKill, at, 0);
}

void Disarm() {
    armed.store(false, std::memory_order_relaxed);
}

std::uint64_t Operations() {
    State& state = Current();
    std::lock_guard lock(state.mutex);
    return state.count;
}

std::string Struck() {
    State& state = Current();
    std::lock_guard lock(state.mutex);
    return state.struck;
}

int Check(const char* what, const std::filesystem::path& path) {
    if (!armed.load(std::memory_order_relaxed)) return 0;
    State& state = Current();
    std::lock_guard lock(state.mutex);
    if (++state.count != state.at) return 0;
    if (state.mode == Mode::kKill) {
#ifdef _WIN32
        // As the task manager ends a process: at once, nothing flushed, status 137.
        ::TerminateProcess(::GetCurrentProcess(), 137);
#else
        std::raise(SIGKILL);
#endif
    }
    if (state.mode != Mode::kFail) return 0;
    state.struck = std::string(what) + " " + path.string();
    return state.errorNumber;
}

bool CheckErrno(const char* what, const std::filesystem::path& path) {
    const int number = Check(what, path);
    if (number == 0) return false;
    errno = ErrnoOf(number);
    return true;
}

bool CheckErrno(const char* what, const std::string& name) {
    // Checked first, so that an inert seam builds no path from the name.
    return armed.load(std::memory_order_relaxed) && CheckErrno(what, std::filesystem::path(name));
}

void CheckRuntime(const char* what, const std::filesystem::path& path) {
    if (const int number = Check(what, path)) throw RuntimeError(number);
}

}  // namespace kelmora::faults
