// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the tests need from the host beyond the standard library, the same on POSIX and Windows:
// temporary folders, the environment, running a program, the host's way of writing a folder, and
// files this process cannot read.
namespace kelmora::testing {

// A new, empty folder under `parent` (the system's temporary folder by default).
std::filesystem::path MakeTempFolder(
    const std::filesystem::path& parent = std::filesystem::temp_directory_path());

// Removes a folder with everything in it, read-only files and folders included; links are
// removed, never followed. Failures are ignored: it cleans up after a test.
void RemoveTree(const std::filesystem::path& folder);

// The process's environment, as getenv and child processes see it.
void SetEnvironment(const std::string& name, const std::string& value);
void UnsetEnvironment(const std::string& name);

// A program to run directly, without a shell: arguments reach it as they are (UTF-8).
struct Invocation {
    // Variables set for the child, or removed where the value is nothing.
    using Environment = std::vector<std::pair<std::string, std::optional<std::string>>>;

    std::filesystem::path program;
    std::vector<std::string> arguments;
    std::filesystem::path folder;  // the child's current folder; empty: this process's
    Environment environment;
};

struct Finished {
    int status = -1;      // the exit status, when the program exited
    bool killed = false;  // ended by the fault seam's kill (SIGKILL; on Windows its exit status)
    std::string out;      // on Windows a CR LF pair reads as LF, undoing the text mode
    std::string err;
};

// Runs the program with nothing on its standard input and waits for it. Throws
// std::runtime_error when it cannot be started.
Finished Run(const Invocation& invocation);
// The same from this process's folder, with its environment.
Finished Run(const std::filesystem::path& program, const std::vector<std::string>& arguments);

// This test program's own file, to run a part of it in a fresh process.
std::filesystem::path SelfProgram();

// The most memory this process has held resident so far, in bytes.
std::uint64_t PeakResidentBytes();

// A host path as the program writes a folder text: UTF-8, the host's separators.
std::string HostText(const std::filesystem::path& path);

// A UTF-8 text as a path. Use it for names beyond ASCII: on Windows a path made from a plain
// std::string takes each byte for a character.
std::filesystem::path PathFromUtf8(const std::string& text);

// The separator the program puts between a host folder text and a name joined to it.
#ifdef _WIN32
inline constexpr char kHostSeparator = '\\';
#else
inline constexpr char kHostSeparator = '/';
#endif

// Whether taking write permission from a folder stops this process writing in it: not for the
// superuser, and not on Windows, where the read-only attribute binds files only.
bool FolderPermissionsBind();

// Makes a file impossible for this process to open while the object lives, even for root: on
// Linux the file loses its permissions and the thread the capability that overrides them; on
// Windows the object holds the file open without sharing it.
class ScopedUnreadable {
public:
    explicit ScopedUnreadable(std::filesystem::path path);
    ~ScopedUnreadable();
    ScopedUnreadable(const ScopedUnreadable&) = delete;
    ScopedUnreadable& operator=(const ScopedUnreadable&) = delete;

private:
    std::filesystem::path path_;
    void* handle_ = nullptr;    // Windows: the file, held open
    std::uint32_t saved_[6]{};  // Linux: the capability sets before
};

}  // namespace kelmora::testing
