// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Portable.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include "platform/WindowsApi.h"
// After windows.h, which it needs.
#include <psapi.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#endif

extern char** environ;
#endif

namespace kelmora::testing {

namespace fs = std::filesystem;

namespace {

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#ifdef _WIN32

std::wstring Wide(const std::string& text) {
    return PathFromUtf8(text).wstring();
}

// One argument as the C runtime's command-line parser reads it back: quoted when it holds
// blanks or quotes, backslashes doubled only before a quote.
std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::wstring UpperCaseName(std::wstring name) {
    for (wchar_t& c : name) c = static_cast<wchar_t>(::towupper(c));
    return name;
}

// The environment block for the child: this process's, with the changes asked for.
std::wstring EnvironmentBlock(const Invocation& invocation) {
    std::map<std::wstring, std::wstring> variables;  // "NAME=value" by upper-cased name
    wchar_t* current = ::GetEnvironmentStringsW();
    for (const wchar_t* entry = current; *entry != L'\0'; entry += wcslen(entry) + 1) {
        const std::wstring line(entry);
        const size_t equals = line.find(L'=', 1);  // "=C:=C:\..." entries start with '='
        if (equals != std::wstring::npos) variables[UpperCaseName(line.substr(0, equals))] = line;
    }
    ::FreeEnvironmentStringsW(current);
    for (const auto& [name, value] : invocation.environment) {
        const std::wstring wideName = Wide(name);
        if (value) {
            variables[UpperCaseName(wideName)] = wideName + L"=" + Wide(*value);
        } else {
            variables.erase(UpperCaseName(wideName));
        }
    }
    std::wstring block;
    for (const auto& [name, line] : variables) block += line + L'\0';
    return block + L'\0';
}

HANDLE InheritableFile(const fs::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + HostText(path));
    return file;
}

std::string WithoutCarriageReturns(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

// The fault seam's kill on Windows, which has no signals: the process terminates itself with
// this status.
constexpr DWORD kKilledStatus = 137;

void RunAndWait(const Invocation& invocation, const fs::path& outFile, const fs::path& errFile,
                Finished& finished) {
    std::wstring commandLine = QuoteArgument(invocation.program.wstring());
    for (const auto& argument : invocation.arguments)
        commandLine += L" " + QuoteArgument(Wide(argument));
    std::wstring environment = EnvironmentBlock(invocation);
    HANDLE input = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE output = InheritableFile(outFile, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE error = InheritableFile(errFile, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = error;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(
        invocation.program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
        CREATE_UNICODE_ENVIRONMENT, environment.data(),
        invocation.folder.empty() ? nullptr : invocation.folder.c_str(), &startup, &process);
    const DWORD startError = started ? 0 : ::GetLastError();
    ::CloseHandle(input);
    ::CloseHandle(output);
    ::CloseHandle(error);
    if (!started) {
        throw std::runtime_error("cannot start " + HostText(invocation.program) + " (error " +
                                 std::to_string(startError) + ")");
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    finished.status = static_cast<int>(code);
    finished.killed = code == kKilledStatus;
    finished.out = WithoutCarriageReturns(ReadWhole(outFile));
    finished.err = WithoutCarriageReturns(ReadWhole(errFile));
}

#else

// The child's environment: this process's, with the changes asked for.
std::vector<std::string> ChildEnvironment(const Invocation& invocation) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string line(*entry);
        variables[line.substr(0, line.find('='))] = line;
    }
    for (const auto& [name, value] : invocation.environment) {
        if (value) {
            variables[name] = name + "=" + *value;
        } else {
            variables.erase(name);
        }
    }
    std::vector<std::string> lines;
    for (const auto& [name, line] : variables) lines.push_back(line);
    return lines;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Everything the child needs is made before the fork: after it, only calls safe in a child of a
// process that may have threads.
void RunAndWait(const Invocation& invocation, const fs::path& outFile, const fs::path& errFile,
                Finished& finished) {
    std::vector<std::string> words{invocation.program.string()};
    words.insert(words.end(), invocation.arguments.begin(), invocation.arguments.end());
    std::vector<std::string> environment = ChildEnvironment(invocation);
    std::vector<char*> argv = Pointers(words);
    std::vector<char*> envp = Pointers(environment);
    const char* folder = invocation.folder.empty() ? nullptr : invocation.folder.c_str();
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("cannot start " + invocation.program.string());
    if (child == 0) {
        const int input = ::open("/dev/null", O_RDONLY);
        const int output = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int error = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (input < 0 || output < 0 || error < 0 || (folder && ::chdir(folder) != 0)) ::_exit(127);
        ::dup2(input, 0);
        ::dup2(output, 1);
        ::dup2(error, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) finished.status = WEXITSTATUS(status);
    finished.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    finished.out = ReadWhole(outFile);
    finished.err = ReadWhole(errFile);
}

#endif

}  // namespace

fs::path MakeTempFolder(const fs::path& parent) {
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "kelmora-test-%012llx",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        if (fs::create_directory(parent / name)) return parent / name;
    }
    throw std::runtime_error("no free temporary folder name in " + HostText(parent));
}

void RemoveTree(const fs::path& folder) {
    std::error_code ec;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::remove_all(folder, ec);
}

void SetEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
    // Both copies: the C runtime's, which getenv reads, and the process's, which children get.
    ::_wputenv_s(Wide(name).c_str(), Wide(value).c_str());
    ::SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
#else
    ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

void UnsetEnvironment(const std::string& name) {
#ifdef _WIN32
    ::_wputenv_s(Wide(name).c_str(), L"");
    ::SetEnvironmentVariableW(Wide(name).c_str(), nullptr);
#else
    ::unsetenv(name.c_str());
#endif
}

Finished Run(const Invocation& invocation) {
    const fs::path capture = MakeTempFolder();
    Finished finished;
    try {
        RunAndWait(invocation, capture / "out", capture / "err", finished);
    } catch (...) {
        RemoveTree(capture);
        throw;
    }
    RemoveTree(capture);
    return finished;
}

Finished Run(const fs::path& program, const std::vector<std::string>& arguments) {
    Invocation invocation;
    invocation.program = program;
    invocation.arguments = arguments;
    return Run(invocation);
}

fs::path SelfProgram() {
#ifdef _WIN32
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length < name.size()) return name.substr(0, length);
        name.resize(name.size() * 2);
    }
#else
    return fs::read_symlink("/proc/self/exe");
#endif
}

std::uint64_t PeakResidentBytes() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
#else
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;  // Linux counts in kilobytes
#endif
}

std::string HostText(const fs::path& path) {
    const std::u8string text = fs::path(path).make_preferred().u8string();
    return std::string(text.begin(), text.end());
}

fs::path PathFromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

bool FolderPermissionsBind() {
#ifdef _WIN32
    return false;
#else
    return ::geteuid() != 0;
#endif
}

#ifdef _WIN32

ScopedUnreadable::ScopedUnreadable(fs::path path) : path_(std::move(path)) {
    HANDLE file = ::CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot hold " + HostText(path_));
    handle_ = file;
}

ScopedUnreadable::~ScopedUnreadable() {
    ::CloseHandle(static_cast<HANDLE>(handle_));
}

#else

namespace {

#ifdef __linux__
// Saves this thread's capabilities in `saved` and drops the two that let root read and search
// whatever the permissions say.
void DropFileOverride(std::uint32_t (&saved)[6]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    static_assert(sizeof saved == sizeof data);
    ::syscall(SYS_capget, &header, data);
    std::memcpy(saved, data, sizeof data);
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    ::syscall(SYS_capset, &header, data);
}

void RestoreCapabilities(const std::uint32_t (&saved)[6]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    std::memcpy(data, saved, sizeof data);
    ::syscall(SYS_capset, &header, data);
}
#endif

}  // namespace

ScopedUnreadable::ScopedUnreadable(fs::path path) : path_(std::move(path)) {
    fs::permissions(path_, fs::perms::none);
#ifdef __linux__
    DropFileOverride(saved_);
#endif
}

ScopedUnreadable::~ScopedUnreadable() {
#ifdef __linux__
    RestoreCapabilities(saved_);
#endif
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, ignored);
}

#endif

}  // namespace kelmora::testing
