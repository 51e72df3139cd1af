#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// A test seam through the operations that change files on disk (creating, writing, renaming and
// deleting files and folders) and the reads of archives: a test can count them, make the Nth one
// fail with a run-time error number as a full disk, a refused access or a failing device would,
// or end the process at the Nth one as a crash would. Until a test arms it, every check is one
// relaxed atomic load.
namespace kelmora::faults {

// Counts operations from now on, failing none.
void Count();
// The `at`-th operation from now on (1 for the next) fails with `errorNumber` (61, 70, 57, ...),
// once; the others go through.
void FailAt(std::uint64_t at, int errorNumber);
// The `at`-th operation from now on ends the process at once (SIGKILL; on Windows, which has no
// signals, TerminateProcess with status 137), before it runs.
void KillAt(std::uint64_t at);
// Back to inert.
void Disarm();

// Operations counted since the last Count, FailAt or KillAt.
std::uint64_t Operations();
// What the injected failure struck ("rename /x/y"), or an empty text when none was injected.
std::string Struck();

// Called by the platform layer before each operation: the run-time error number to fail it
// with, or 0 to carry it out. `what` and `path` name the operation for Struck().
int Check(const char* what, const std::filesystem::path& path);
// Check for code that reports failures through errno: sets errno to the matching value and
// returns true when the operation is to fail.
bool CheckErrno(const char* what, const std::filesystem::path& path);
bool CheckErrno(const char* what, const std::string& name);
// Check for code that raises RuntimeError: raises it when the operation is to fail.
void CheckRuntime(const char* what, const std::filesystem::path& path);

}  // namespace kelmora::faults
