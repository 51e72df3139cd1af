// SPDX-License-Identifier: GPL-3.0-or-later
// kelmora-hpi: lists, extracts, packs and verifies the game's HPI archives with the same library
// the installer uses. Exit status 0 on success, 1 for a damaged archive or a failed operation, 2
// for a usage error.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "hpi/HpiReader.h"
#include "hpi/HpiWriter.h"
#include "platform/Console.h"
#include "platform/PathMapping.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace kelmora;

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

const char kHelp[] =
    "Usage: kelmora-hpi COMMAND ARGUMENTS\n"
    "\n"
    "Reads and writes archives in the HPI format of Total Annihilation (*.hpi, *.ufo, *.ccx,\n"
    "*.gp3, *.gpf), format version 1.\n"
    "\n"
    "Commands:\n"
    "  list ARCHIVE         one line per entry, tab-separated: D or F, full path, size,\n"
    "                       compression (stored, lz77, zlib); '-' for a directory's size and\n"
    "                       compression. An entry that must not be extracted gets a fifth\n"
    "                       column saying why.\n"
    "  extract ARCHIVE DIR  writes every entry below DIR (created when missing), replacing\n"
    "                       files already there. Entries whose names could leave DIR ('..',\n"
    "                       separators, drive letters, control characters, repeated names) are\n"
    "                       not written and make the exit status 1.\n"
    "  pack DIR ARCHIVE     packs the files and folders below DIR into ARCHIVE (zlib, 64 KiB\n"
    "                       chunks), in name order. ARCHIVE is replaced only once the new one is\n"
    "                       complete.\n"
    "  verify ARCHIVE       reads every byte of every entry, checking every checksum and every\n"
    "                       name, without writing anything.\n"
    "\n"
    "Paths are taken literally, as the system names them: letter case counts, and nothing is\n"
    "looked up in a Wine prefix. Names inside archives are matched without regard to case.\n"
    "\n"
    "Options: -h, --help prints this text; --version the program's version. An argument after\n"
    "'--' is never an option, so a path starting with '-' can follow it.\n"
    "\n"
    "Exit status: 0 success, 1 damaged archive or failed operation, 2 usage error.\n"
    "While packing and extracting, progress is shown on standard error when it is a terminal.\n";

int Usage(const std::string& problem) {
    WriteText(stderr, "kelmora-hpi: " + problem + "\nTry 'kelmora-hpi --help'.\n");
    return kUsage;
}

void Complain(const std::string& message) {
    WriteText(stderr, "kelmora-hpi: " + message + "\n");
}

// Progress on standard error, only for a person watching a terminal.
class ProgressLine {
public:
    explicit ProgressLine(const char* verb) : verb_(verb), shown_(isatty(fileno(stderr)) != 0) {}
    ~ProgressLine() {
        if (shown_ && last_ >= 0) std::fputs("\n", stderr);
    }
    void Show(std::uint64_t done, std::uint64_t total) {
        if (!shown_ || total == 0) return;
        int percent = static_cast<int>(100 * done / total);
        if (percent == last_) return;
        last_ = percent;
        std::fprintf(stderr, "\r%s: %3d%%", verb_, percent);
        std::fflush(stderr);
    }

private:
    const char* verb_;
    bool shown_;
    int last_ = -1;
};

const char* CompressionName(hpi::Compression compression) {
    switch (compression) {
        case hpi::Compression::kStored:
            return "stored";
        case hpi::Compression::kLz77:
            return "lz77";
        case hpi::Compression::kZlib:
            return "zlib";
    }
    return "?";
}

// The path exactly as given: a tool run from a shell names real files, and "RT.UFO" must not
// replace an "rt.ufo" beside it.
fs::path Host(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

// Where an entry goes below `root`: its names, which the reader has found safe, one folder each.
fs::path Destination(const fs::path& root, const std::string& entryPath) {
    fs::path destination = root;
    size_t start = 0;
    while (start <= entryPath.size()) {
        const size_t end = std::min(entryPath.find('\\', start), entryPath.size());
        destination /= Host(entryPath.substr(start, end - start));
        start = end + 1;
    }
    return destination;
}

HpiReader OpenArchive(const std::string& text) {
    return HpiReader::Open(Host(text), text);
}

int List(const std::string& archive) {
    HpiReader reader = OpenArchive(archive);
    std::string out;
    for (const HpiEntry& entry : reader.entries()) {
        out += entry.directory ? "D\t" : "F\t";
        out += PrintableName(entry.path);
        if (entry.directory) {
            out += "\t-\t-";
        } else {
            out += "\t" + std::to_string(entry.size) + "\t" + CompressionName(entry.compression);
        }
        if (!entry.safe()) out += "\tunsafe: " + PrintableName(entry.unsafeReason);
        out += '\n';
    }
    return WriteText(stdout, out) ? kSuccess : kFailure;
}

int Extract(const std::string& archive, const std::string& folder) {
    HpiReader reader = OpenArchive(archive);
    fs::path root = Host(folder);
    std::error_code ec;
    fs::create_directories(root, ec);
    if (ec) throw HpiError(folder + ": cannot create the folder: " + ec.message());

    // Folders first, and every destination found, on this thread; then the files are written by
    // a thread per core, which keeps every core busy on creating files and decoding chunks.
    const std::vector<HpiEntry>& entries = reader.entries();
    std::vector<std::string> problems(entries.size());
    std::vector<fs::path> destinations(entries.size());
    std::vector<size_t> files;
    std::uint64_t total = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const HpiEntry& entry = entries[i];
        total += entry.size + 1;
        try {
            if (!entry.safe()) {
                throw HpiError(archive + ": '" + PrintableName(entry.path) +
                               "' is not extracted: " + entry.unsafeReason);
            }
            destinations[i] = Destination(root, entry.path);
            if (entry.directory) {
                fs::create_directories(destinations[i], ec);
                if (ec)
                    throw HpiError(destinations[i].string() +
                                   ": cannot create the folder: " + ec.message());
            } else {
                files.push_back(i);
            }
        } catch (const HpiError& error) {
            problems[i] = error.what();
        }
    }

    ProgressLine progress("extracting");
    std::atomic<size_t> next{0};
    std::atomic<std::uint64_t> done{0};
    auto work = [&](bool showProgress) {
        for (size_t n = next++; n < files.size(); n = next++) {
            const size_t i = files[n];
            try {
                reader.ExtractToFile(entries[i], destinations[i]);
            } catch (const std::exception& error) {
                problems[i] = error.what();
            }
            done += entries[i].size + 1;
            if (showProgress) progress.Show(done, total);
        }
    };
    {
        std::vector<std::jthread> helpers;
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned t = 1; t < cores && t < files.size(); ++t) helpers.emplace_back(work, false);
        work(true);
    }
    progress.Show(total, total);

    int status = kSuccess;
    for (const std::string& problem : problems) {
        if (problem.empty()) continue;
        Complain(problem);
        status = kFailure;
    }
    return status;
}

// Adds the folder's entries in name order, each folder before what it holds.
void AddTree(HpiWriter& writer, const fs::path& folder, const std::string& prefix,
             const fs::path& skip) {
    std::vector<fs::directory_entry> children;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        children.push_back(*it);
    if (ec) throw HpiError(folder.string() + ": cannot list the folder: " + ec.message());
    auto nameOf = [](const fs::directory_entry& entry) {
        auto name = entry.path().filename().u8string();
        return std::string(name.begin(), name.end());
    };
    // Name order without regard to case, as the game's folders list.
    std::sort(children.begin(), children.end(), [&](const auto& a, const auto& b) {
        std::string nameA = nameOf(a), nameB = nameOf(b);
        std::string lowerA = LowerCase(nameA), lowerB = LowerCase(nameB);
        return lowerA != lowerB ? lowerA < lowerB : nameA < nameB;
    });
    for (const auto& child : children) {
        std::string name = nameOf(child);
        std::string path = prefix.empty() ? name : prefix + "\\" + name;
        // A '\' inside a host name would read as a separator in the archive.
        if (name.find('\\') != std::string::npos) {
            throw HpiError("'" + PrintableName(path) +
                           "': cannot be an archive entry: the name contains '\\'");
        }
        // Only an entry of the target's name, or a link, can be the target: the others need no
        // resolving.
        if (!skip.empty() && (child.path().filename() == skip.filename() || child.is_symlink(ec)) &&
            fs::weakly_canonical(child.path(), ec) == skip)
            continue;
        if (child.is_symlink(ec) && child.is_directory(ec)) {
            throw HpiError(child.path().string() + ": a symbolic link to a folder is not packed");
        }
        if (child.is_directory(ec)) {
            writer.AddDirectory(path);
            AddTree(writer, child.path(), path, skip);
        } else if (child.is_regular_file(ec)) {
            writer.AddFile(path, child.path());
        } else {
            throw HpiError(child.path().string() + ": neither a file nor a folder");
        }
    }
}

int Pack(const std::string& folder, const std::string& archive) {
    fs::path root = Host(folder);
    std::error_code ec;
    if (!fs::is_directory(root, ec)) throw HpiError(folder + ": no such folder");
    fs::path target = Host(archive);
    HpiWriter writer;
    AddTree(writer, root, "", fs::weakly_canonical(target, ec));
    ProgressLine progress("packing");
    writer.Write(
        target, hpi::Compression::kZlib,
        [&](const HpiProgress& p) {
            progress.Show(static_cast<std::uint64_t>(p.done), static_cast<std::uint64_t>(p.total));
        },
        archive);
    return kSuccess;
}

int Verify(const std::string& archive) {
    HpiReader reader = OpenArchive(archive);
    int problems = 0;
    std::uint64_t files = 0, bytes = 0;
    for (const HpiEntry& entry : reader.entries()) {
        if (!entry.safe()) {
            Complain(archive + ": '" + PrintableName(entry.path) +
                     "' has an unsafe name: " + entry.unsafeReason);
            ++problems;
            continue;
        }
        if (entry.directory) continue;
        try {
            reader.Extract(entry, [](const unsigned char*, size_t) {});
            ++files;
            bytes += entry.size;
        } catch (const HpiError& error) {
            Complain(error.what());
            ++problems;
        }
    }
    if (problems > 0) {
        Complain(archive + ": " + std::to_string(problems) +
                 (problems == 1 ? " problem" : " problems") + " found");
        return kFailure;
    }
    WriteText(stdout, archive + ": " + std::to_string(reader.entries().size()) + " entries, " +
                          std::to_string(files) + " files, " + std::to_string(bytes) +
                          " bytes: every checksum and every name is sound\n");
    return kSuccess;
}

// Runs a command with its paths ("list", "game.hpi"), checking that it gets as many as it takes.
int RunCommand(const std::vector<std::string>& args) {
    if (args.empty()) return Usage("no command given");
    const std::string& command = args[0];
    const size_t wanted = command == "list" || command == "verify"    ? 2
                          : command == "extract" || command == "pack" ? 3
                                                                      : 0;
    if (wanted == 0) return Usage("unknown command '" + command + "'");
    if (args.size() != wanted) {
        return Usage("'" + command + "' takes " + std::to_string(wanted - 1) +
                     (wanted == 2 ? " argument" : " arguments"));
    }
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].empty()) return Usage("an empty path was given");
    }
    try {
        if (command == "list") return List(args[1]);
        if (command == "extract") return Extract(args[1], args[2]);
        if (command == "pack") return Pack(args[1], args[2]);
        return Verify(args[1]);
    } catch (const std::exception& error) {
        Complain(error.what());
        return kFailure;
    }
}

// Runs the command line `arguments` (after the program's name) and returns the exit status.
int RunHpiTool(const std::vector<std::string>& arguments) {
    CLI::App app("", "kelmora-hpi");
    app.allow_windows_style_options(false);  // "/x" is a path on every platform
    app.allow_extras();                      // an unknown option gets our own message
    app.set_help_flag("-h,--help");
    CLI::Option* version = app.add_flag("--version")->disable_flag_override();
    std::vector<std::string> args;
    app.add_option("words", args);
    // Everything after "--" is a command or a path, never an option.
    const auto end = std::find(arguments.begin(), arguments.end(), "--");
    std::vector<std::string> reversed(arguments.begin(), end);
    std::reverse(reversed.begin(), reversed.end());  // the order CLI11 takes a vector in
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        WriteText(stdout, kHelp);
        return kSuccess;
    } catch (const CLI::ParseError& error) {
        return Usage(error.what());
    }
    if (version->count() > 0) {
        WriteText(stdout, "kelmora-hpi " KELMORA_VERSION "\n");
        return kSuccess;
    }
    if (!app.remaining().empty()) return Usage("unknown option '" + app.remaining().front() + "'");
    if (end != arguments.end()) args.insert(args.end(), end + 1, arguments.end());
    return RunCommand(args);
}

}  // namespace

int main(int argc, char** argv) {
    return RunReportingFailures("kelmora-hpi",
                                [&] { return RunHpiTool(ProgramArguments(argc, argv)); });
}
