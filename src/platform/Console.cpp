// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Console.h"

#include <exception>

#ifdef _WIN32
#include "platform/WindowsApi.h"
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace kelmora {

namespace {

constexpr int kFailureStatus = 1;

#ifdef _WIN32
std::string Utf8(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back();  // the terminating zero
    return utf8;
}

std::wstring Utf16(std::string_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
    return wide;
}

// Whether a standard handle leads anywhere: a console, a file or a pipe.
bool Leads(HANDLE handle) {
    return handle && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Sends `stream` and its standard handle to the console the process is attached to.
void SendToConsole(std::FILE* stream, DWORD standardHandle) {
    HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) return;
    ::SetStdHandle(standardHandle, console);
    std::freopen("CONOUT$", "w", stream);
}

// The console `stream` writes to, or nothing when it goes to a file or a pipe.
HANDLE ConsoleOf(std::FILE* stream) {
    HANDLE handle = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) ? handle : nullptr;
}
#endif

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        std::vector<std::string> arguments;
        for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i]));
        ::LocalFree(wide);
        return arguments;
    }
#endif
    return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

bool WriteText(std::FILE* stream, std::string_view text) {
#ifdef _WIN32
    if (HANDLE console = ConsoleOf(stream)) {
        // What the C runtime holds goes first, so that the order stays.
        std::fflush(stream);
        const std::wstring wide = Utf16(text);
        DWORD written = 0;
        return wide.empty() || ::WriteConsoleW(console, wide.data(),
                                               static_cast<DWORD>(wide.size()), &written, nullptr);
    }
#endif
    const bool whole = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    return std::fflush(stream) == 0 && whole;
}

void UseParentConsole() {
#ifdef _WIN32
    const bool outputLeads = Leads(::GetStdHandle(STD_OUTPUT_HANDLE));
    const bool errorLeads = Leads(::GetStdHandle(STD_ERROR_HANDLE));
    if ((outputLeads && errorLeads) || !::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!outputLeads) SendToConsole(stdout, STD_OUTPUT_HANDLE);
    if (!errorLeads) SendToConsole(stderr, STD_ERROR_HANDLE);
#endif
}

int RunReportingFailures(std::string_view program, const std::function<int()>& body) {
    std::string what;
    try {
        return body();
    } catch (const std::exception& error) {
        what = error.what();
    } catch (...) {
        what = "an error of an unknown kind";
    }
    WriteText(stderr, std::string(program) + ": " + what + "\n");
    return kFailureStatus;
}

}  // namespace kelmora
