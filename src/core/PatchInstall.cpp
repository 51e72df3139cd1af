#include "core/PatchInstall.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/EntryNames.h"
#include "core/PackProgress.h"
#include "core/ProgramEnd.h"
#include "hpi/HPIUtil.h"
#include "platform/FaultInjection.h"
#include "platform/FileSystemObject.h"
#include "platform/Folders.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"

namespace kelmora {

namespace {

struct GameFile {
    const char* suffix;
    std::uint64_t size;
    int bit;
};

// The sizes of the game maker's released files; any other size means a modified game.
constexpr std::array<GameFile, 3> kGameFiles{{
    {"\\totala1.hpi", 32311035, 1},
    {"\\ccdata.ccx", 25871597, 2},
    {"\\rev31.gp3", 5481280, 4},
}};

constexpr std::int32_t kPackCompression = 2;

std::string PercentText(std::int64_t percent) {
    return std::to_string(percent) + "%";
}

void CheckGameVersion(const std::string& gameFolder, MessageBoxSeam& messages) {
    FileSystemObject fso;
    std::vector<std::uint64_t> sizes;
    for (const GameFile& file : kGameFiles)
        sizes.push_back(fso.GetFile(JoinPath(gameFolder, file.suffix)).Size());
    int mismatch = 0;
    std::string list;
    for (std::size_t i = 0; i < kGameFiles.size(); ++i) {
        if (sizes[i] == kGameFiles[i].size) continue;
        mismatch += kGameFiles[i].bit;
        if (!list.empty()) list += '\r';
        list += "     " + JoinPath(gameFolder, kGameFiles[i].suffix);
    }
    if (mismatch == 0) return;
    Message conflict;
    conflict.text = "The following file(s) do not match the Cavedog defaults:\r" + list +
                    "\r\rPlease verify that you have not installed any 3rd party modifications to "
                    "these files.\r\rPlease press OK to terminate this installation.";
    conflict.title = "Version Conflict Detected";
    conflict.icon = MsgIcon::kCritical;
    messages.Show(conflict);
    EndProgram(0);
}

// The plain files directly in a folder, by name: what gets packed from one work-folder directory.
std::vector<std::string> FilesIn(const std::string& folder) {
    const std::filesystem::path host = HostPath(folder);
    faults::CheckRuntime(faults::Op::kList, host);
    std::error_code error;
    std::filesystem::directory_iterator it(host, error);
    if (error) throw ErrorFromSystem(error, kPathNotFound);
    std::vector<std::string> names;
    for (const auto& entry : it) {
        if (entry.is_regular_file(error)) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Points the packing callback at a display for the life of the object.
class PackDisplayScope {
public:
    explicit PackDisplayScope(InstallDisplay& display) { SetPackDisplay(&display); }
    ~PackDisplayScope() { SetPackDisplay(nullptr); }
    PackDisplayScope(const PackDisplayScope&) = delete;
    PackDisplayScope& operator=(const PackDisplayScope&) = delete;
};

// One install run. Every step after the version check runs under the error handler: a failing
// step is reported and the run goes on with the next, except where going on would put the game
// archive at risk or report a broken install as done; there the run stops and undoes what it made.
class InstallRun {
public:
    InstallRun(InstallerState& state, InstallDisplay& display, MessageBoxSeam& messages)
        : state_(state), display_(display), messages_(messages) {}

    void Run() {
        if (!ListArchives()) return;
        CreateWorkFolder();
        if (!BackUpGameArchive()) return;
        ExtractGameArchive();
        ExtractPackage();
        if (!PackWorkFolder()) return;
        Step([&] { fso_.deletefolder(WorkFolder(), true); });
        Step([&] { fso_.deletefile(PackagePath("\\KELMORA.UFO"), true); });
    }

private:
    // Runs one step under the error handler; false when it failed. A folder that exists already
    // (error 75) is what an interrupted earlier run leaves, and is reused without a word.
    template <typename StepFunction>
    bool Step(StepFunction&& step) {
        try {
            step();
            return true;
        } catch (const RuntimeError& error) {
            if (error.number() != kPathFileAccessError) ShowError(error);
            return false;
        }
    }

    void ShowError(const RuntimeError& error) {
        messages_.Show(
            {"Error " + std::to_string(error.number()) + ": " + error.description() + "."});
    }

    // Stops the run before the game archive is replaced: the error is the outcome.
    void Fail(const RuntimeError& error) {
        ShowError(error);
        state_.installFailed = true;
    }

    static RuntimeError LibraryError() {
        std::string what = HPILastError();
        return what.empty() ? RuntimeError(kDeviceIOError) : RuntimeError(kDeviceIOError, what);
    }

    std::string GamePath(const std::string& suffix) const {
        return JoinPath(state_.gameFolder, suffix);
    }
    std::string PackagePath(const std::string& suffix) const {
        return JoinPath(state_.packageFolder, suffix);
    }
    std::string WorkFolder() const { return GamePath("\\Orv_Rev31"); }
    // `relative` is a listed name ("scripts\a.cob", "\scripts\") below the work folder.
    std::string WorkPath(std::string relative) const {
        if (!relative.starts_with('\\')) relative.insert(0, "\\");
        if (relative.size() > 1 && relative.ends_with('\\')) relative.pop_back();
        return GamePath("\\Orv_Rev31" + relative);
    }

    // Lists an archive into the run's lists; false (with the error shown) when it cannot be read.
    template <typename AddEntry>
    bool ListArchive(const std::string& path, AddEntry&& addEntry) {
        HpiHandle handle = HPIOpen(path.c_str());
        if (handle == 0) {
            Fail(LibraryError());
            return false;
        }
        std::vector<char> buffer(kHpiNameBufferSize + 1, '\0');
        std::int32_t type = 0;
        std::int32_t size = 0;
        auto nextEntry = [&](std::int32_t next) {
            std::fill_n(buffer.begin(), kHpiNameBufferSize, ' ');
            return HPIGetFiles(handle, next, buffer.data(), &type, &size);
        };
        for (std::int32_t next = nextEntry(0); next != 0; next = nextEntry(next)) {
            addEntry(TrimNull(std::string_view(buffer.data(), kHpiNameBufferSize)), type);
        }
        HPIClose(handle);
        return true;
    }

    bool ListArchives() {
        auto addPackageEntry = [&](const std::string& name, std::int32_t type) {
            lists_.AddPackageEntry(name, type);
        };
        auto addGameEntry = [&](const std::string& name, std::int32_t type) {
            lists_.AddGameEntry(name, type);
        };
        return ListArchive(PackagePath("\\KELMORA.UFO"), addPackageEntry) &&
               ListArchive(GamePath("\\rev31.gp3"), addGameEntry);
    }

    void CreateWorkFolder() {
        Step([&] { CreateFolder(WorkFolder()); });
        Step([&] { SetFolderAttributes(GamePath("\\Orv_rev31"), kHiddenAttribute); });
        for (const std::string& directory : lists_.directories)
            Step([&] { CreateFolder(WorkPath(directory)); });
    }

    // A new backup folder appears only holding the whole copy: the copy is made in a folder of
    // the work folder and renamed into place. A run stopped half-way would otherwise leave a
    // backup folder without the backup, and every later start would open a control panel with
    // nothing to restore.
    bool BackUpGameArchive() {
        const bool reused = fso_.FolderExists(GamePath("\\Orv_Backup"));
        if (!reused) Step([&] { CreateFolder(GamePath("\\Orv_Rev31\\Orv_Backup")); });
        display_.SetAction("Backing up rev31.gp3...");
        try {
            FileSystemObject().copyfile(
                GamePath("\\rev31.gp3"),
                GamePath(reused ? "\\Orv_Backup\\" : "\\Orv_Rev31\\Orv_Backup\\"), true);
            if (!reused) {
                RenamePath(GamePath("\\Orv_Rev31\\Orv_Backup"), GamePath("\\Orv_Backup"));
                createdBackupFolder_ = true;
            }
        } catch (const RuntimeError& error) {
            // Without a copy the original must not be replaced.
            Fail(error);
            RemoveWhatTheRunMade(false);
            return false;
        }
        display_.SetBar(100);
        display_.Repaint();
        return true;
    }

    // Extracts `entries` of an open archive; `nameOf` gives the name inside the archive.
    template <typename NameOf>
    void ExtractEntries(HpiHandle handle, const std::vector<std::string>& entries,
                        NameOf&& nameOf) {
        const std::size_t count = entries.size();
        for (std::size_t i = 0; i < count; ++i) {
            const std::string name = nameOf(entries[i]);
            // The place it goes must stay inside the work folder as well as the name: a package
            // entry "rev31.gp3..\x" is a plain name, but without "rev31.gp3" it is "..\x".
            std::string_view destination = entries[i];
            if (destination.starts_with('\\')) destination.remove_prefix(1);
            bool extracted =
                IsSafeEntryName(name) && IsSafeEntryName(destination) &&
                HPIExtractFile(handle, name.c_str(), WorkPath(entries[i]).c_str()) != 0;
            std::int64_t percent = count == 1 ? 100 : WholePercent(double(i), double(count - 1));
            display_.SetPercentText(PercentText(percent));
            display_.SetBar(static_cast<int>(percent));
            display_.Repaint();
            if (!extracted) {
                messages_.Show({"Error extracting #" + std::to_string(i) + ": " + name});
                state_.installFailed = true;
            }
        }
    }

    void ExtractGameArchive() {
        const std::string archive = GamePath("\\rev31.gp3");
        HpiHandle handle = HPIOpen(archive.c_str());
        display_.SetAction("Extracting data from " + archive + "...");
        ExtractEntries(handle, lists_.gameFiles, [](const std::string& entry) { return entry; });
        HPIClose(handle);
    }

    void ExtractPackage() {
        const std::string package = PackagePath("\\Kelmora.ufo");
        HpiHandle handle = HPIOpen(package.c_str());
        display_.SetAction("Extracting data from " + package + "...");
        ExtractEntries(handle, lists_.packageFiles,
                       [](const std::string& entry) { return "rev31.gp3" + entry; });
        HPIClose(handle);
    }

    // Adds the files of one work-folder directory under `directory` ("" for the archive's root).
    void AddFiles(HpiHandle pack, const std::string& directory, const std::string& folder) {
        std::vector<std::string> files;
        // A directory that cannot be listed adds nothing rather than another directory's files,
        // and the new archive lacks its files: the install has not succeeded.
        if (!Step([&] { files = FilesIn(folder); })) {
            state_.installFailed = true;
            return;
        }
        for (const std::string& file : files) {
            HPIAddFile(pack, TitleCaseEntryPath(directory + file).c_str(),
                       JoinPath(folder, "\\" + file).c_str());
        }
    }

    bool PackWorkFolder() {
        const std::string archive = GamePath("\\rev31.gp3");
        display_.SetAction("Compressing " + archive + "...");
        display_.SetPercentText("0%");
        display_.SetBar(0);
        display_.Repaint();
        PackDisplayScope packDisplay(display_);
        HpiHandle pack = HPICreate(archive.c_str(), PackProgress);
        // Files the archives hold at their root go back to the root, ahead of the directories.
        AddFiles(pack, "", WorkFolder());
        // "\x\" from the game and "x\" from a package entry "rev31.gp3x\..." are one folder:
        // packed once, under its name without the leading separator.
        std::unordered_set<std::string> packed;
        for (const std::string& listed : lists_.directories) {
            std::string directory = listed.starts_with('\\') ? listed.substr(1) : listed;
            if (!packed.insert(directory).second) continue;
            HPICreateDirectory(pack, directory.c_str());
            AddFiles(pack, directory, WorkPath(listed));
        }
        const bool written = HPIPackArchive(pack, kPackCompression) != 0;
        if (!written) {
            // The library keeps the old archive whole when it cannot write the new one.
            Fail(LibraryError());
            RemoveWhatTheRunMade(true);
        }
        return written;
    }

    // Leaves the game folder as the run found it, less the package: the work folder goes, and
    // so does a backup folder this run created, when it holds nothing but what the run put there.
    void RemoveWhatTheRunMade(bool backupCopied) {
        Step([&] { fso_.deletefolder(WorkFolder(), true); });
        if (!createdBackupFolder_) return;
        Step([&] {
            const std::string copy = GamePath("\\Orv_Backup\\rev31.gp3");
            if (backupCopied && fso_.FileExists(copy)) fso_.deletefile(copy, true);
            std::error_code error;
            if (std::filesystem::is_empty(HostPath(GamePath("\\Orv_Backup")), error)) {
                fso_.deletefolder(GamePath("\\Orv_Backup"), true);
            }
        });
    }

    InstallerState& state_;
    InstallDisplay& display_;
    MessageBoxSeam& messages_;
    FileSystemObject fso_;
    InstallLists lists_;
    bool createdBackupFolder_ = false;
};

}  // namespace

void InstallPatch(InstallerState& state, InstallDisplay& display, MessageBoxSeam& messages) {
    CheckGameVersion(state.gameFolder, messages);
    InstallPatchAfterVersionCheck(state, display, messages);
}

void InstallPatchAfterVersionCheck(InstallerState& state, InstallDisplay& display,
                                   MessageBoxSeam& messages) {
    InstallRun(state, display, messages).Run();
}

Message InstallOutcomeMessage(const InstallerState& state) {
    if (state.installFailed) {
        return {
            "There were some errors during the installation process.  You should re-download "
            "the latest KELMORA.UFO file and re-run this program.",
            kAppTitle, MsgButtons::kOk, MsgIcon::kCritical};
    }
    return {"Installation Successful.  The Orvald's Kelmora is now ready to run."};
}

}  // namespace kelmora
