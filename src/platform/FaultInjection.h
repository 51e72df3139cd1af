// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

// A test seam through the operations that change files on disk (creating, writing, flushing,
// renaming and deleting files and folders) and the reads of archives: a test can count them, make
// the Nth one fail with a run-time error number as a full disk, a refused access or a failing
// device would, end the process at the Nth one as a crash would, send the process a signal there,
// make a rename there lie as a FAT disk through FUSE does, or watch each one go by to work out
// what a power cut at that moment would leave. Until a test arms it, every check is one
// relaxed atomic load.
namespace kelmora::faults {

enum class Op {
    kCreateFile,    // a new file, empty
    kWrite,         // data into an open file
    kFlushFile,     // fsync: the file's data is on the disk (not its name)
    kCloseFile,     //
    kRename,        // `from` takes the name `path`, replacing what had it
    kDeleteFile,    // a file or a link
    kDeleteTree,    // a folder with everything in it (links go as links)
    kCreateFolder,  //
    kFlushFolder,   // fsync of a folder: its names as they are now are on the disk
    kSetAttributes,
    kList,
    kRead,
};

// An operation about to be carried out.
struct Operation {
    Op op;
    std::filesystem::path path;
    std::filesystem::path from;  // for kRename
    std::uint64_t number = 0;    // its place in the count: 1 for the first
};

// Counts operations from now on, failing none.
void Count();
// The `at`-th operation from now on (1 for the next) fails with `errorNumber` (61, 70, 57, ...),
// once; the others go through.
void FailAt(std::uint64_t at, int errorNumber);
// The `at`-th operation from now on ends the process at once (SIGKILL; on Windows, which has no
// signals, TerminateProcess with status 137), before it runs.
void KillAt(std::uint64_t at);
// The `at`-th operation from now on, when it is a rename, is reported done but loses its data: the
// destination is left empty (a folder without its entries, a file of no bytes).
void LieAt(std::uint64_t at);
// The process gets `signal` (SIGTERM, ...) just before the `at`-th operation from now on, which
// then runs.
void SignalAt(std::uint64_t at, int signal);
// Counts operations from now on and hands each to `observer` before it runs (from the thread
// that runs it, one at a time; the observer must not call into the seam).
void Record(std::function<void(const Operation&)> observer);
// Back to inert.
void Disarm();

// Operations counted since the last Count, FailAt, KillAt or Record.
std::uint64_t Operations();
// What the injected failure struck ("rename /x/y"), or an empty text when none was injected.
std::string Struck();
// "rename", "flush folder", ...: what Struck() and the tests call an operation.
const char* NameOf(Op op);

// Called by the platform layer before each operation: the run-time error number to fail it
// with, or 0 to carry it out.
int Check(Op op, const std::filesystem::path& path, const std::filesystem::path& from = {});
// Check for code that reports failures through errno: sets errno to the matching value and
// returns true when the operation is to fail.
bool CheckErrno(Op op, const std::filesystem::path& path, const std::filesystem::path& from = {});
bool CheckErrno(Op op, const std::string& name);
// Called by the platform layer after each rename that succeeded: empties `to` when the rename is
// to lie.
void AfterRename(const std::filesystem::path& to);
// Check for code that raises RuntimeError: raises it when the operation is to fail.
void CheckRuntime(Op op, const std::filesystem::path& path, const std::filesystem::path& from = {});

}  // namespace kelmora::faults
