// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FaultInjection.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <utility>

#include "platform/RuntimeError.h"

#ifdef _WIN32
#include "platform/WindowsApi.h"
#endif

namespace kelmora::faults {

namespace {

enum class Mode { kCount, kFail, kKill, kLie, kSignal };

using Observer = std::function<void(const Operation&)>;

std::atomic<bool> armed{false};

struct State {
    std::mutex mutex;
    Mode mode = Mode::kCount;
    std::uint64_t count = 0;
    std::uint64_t at = 0;
    int errorNumber = 0;
    std::string struck;
    bool lying = false;  // the rename just checked is to lie
    Observer observer;
};

State& Current() {
    static State state;
    return state;
}

void Arm(Mode mode, std::uint64_t at, int errorNumber, Observer observer = {}) {
    State& state = Current();
    std::lock_guard lock(state.mutex);
    state.mode = mode;
    state.count = 0;
    state.at = at;
    state.errorNumber = errorNumber;
    state.struck.clear();
    state.lying = false;
    state.observer = std::move(observer);
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

void LieAt(std::uint64_t at) {
    Arm(Mode::kLie, at, 0);
}
void SignalAt(std::uint64_t at, int signal) {
    Arm(Mode::kSignal, at, signal);
}

void Record(Observer observer) {
    Arm(Mode::kCount, 0, 0, std::move(observer));
}

void Disarm() {
    armed.store(false, std::memory_order_relaxed);
    State& state = Current();
    std::lock_guard lock(state.mutex);
    state.observer = nullptr;
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

const char* NameOf(Op op) {
    switch (op) {
        case Op::kCreateFile:
            return "create";
        case Op::kWrite:
            return "write";
        case Op::kFlushFile:
            return "flush";
        case Op::kCloseFile:
            return "close";
        case Op::kRename:
            return "rename";
        case Op::kDeleteFile:
            return "delete";
        case Op::kDeleteTree:
            return "delete folder";
        case Op::kCreateFolder:
            return "create folder";
        case Op::kFlushFolder:
            return "flush folder";
        case Op::kSetAttributes:
            return "set attributes of";
        case Op::kList:
            return "list";
        case Op::kRead:
            return "read from";
    }
    return "?";
}

int Check(Op op, const std::filesystem::path& path, const std::filesystem::path& from) {
    if (!armed.load(std::memory_order_relaxed)) return 0;
    State& state = Current();
    std::lock_guard lock(state.mutex);
    ++state.count;
    state.lying = false;
    if (state.observer) state.observer(Operation{op, path, from, state.count});
    if (state.count != state.at) return 0;
    if (state.mode == Mode::kSignal) std::raise(state.errorNumber);
    if (state.mode == Mode::kLie && op == Op::kRename) {
        state.lying = true;
        state.struck = std::string(NameOf(op)) + " " + path.string();
    }
    if (state.mode == Mode::kKill) {
#ifdef _WIN32
        // As the task manager ends a process: at once, nothing flushed, status 137.
        ::TerminateProcess(::GetCurrentProcess(), 137);
#else
        std::raise(SIGKILL);
#endif
    }
    if (state.mode != Mode::kFail) return 0;
    state.struck = std::string(NameOf(op)) + " " + path.string();
    return state.errorNumber;
}

bool CheckErrno(Op op, const std::filesystem::path& path, const std::filesystem::path& from) {
    const int number = Check(op, path, from);
    if (number == 0) return false;
    errno = ErrnoOf(number);
    return true;
}

bool CheckErrno(Op op, const std::string& name) {
    // Checked first, so that an inert seam builds no path from the name.
    return armed.load(std::memory_order_relaxed) && CheckErrno(op, std::filesystem::path(name));
}

void AfterRename(const std::filesystem::path& to) {
    if (!armed.load(std::memory_order_relaxed)) return;
    State& state = Current();
    std::lock_guard lock(state.mutex);
    if (!state.lying) return;
    state.lying = false;
    std::error_code ignored;
    if (!std::filesystem::is_directory(to, ignored)) {
        std::filesystem::resize_file(to, 0, ignored);
        return;
    }
    for (const auto& entry : std::filesystem::directory_iterator(to, ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

void CheckRuntime(Op op, const std::filesystem::path& path, const std::filesystem::path& from) {
    if (const int number = Check(op, path, from)) throw RuntimeError(number);
}

}  // namespace kelmora::faults
