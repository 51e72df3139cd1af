// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PatchInstall.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/EntryNames.h"
#include "core/GameFolderGuard.h"
#include "core/PackProgress.h"
#include "core/ProgramEnd.h"
#include "hpi/HPIUtil.h"
#include "platform/FaultInjection.h"
#include "platform/FileSystemObject.h"
#include "platform/Folders.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"
#include "platform/StopSignals.h"

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

// `shownFolder` is the game folder as the messages show it.
void CheckGameVersion(const std::string& gameFolder, const std::string& shownFolder,
                      MessageBoxSeam& messages) {
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
        list += "     " + JoinPath(shownFolder, kGameFiles[i].suffix);
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
// A link is no plain file: what it points to lies outside the work folder.
std::vector<std::string> FilesIn(const std::string& folder) try {
    const std::filesystem::path host = HostPath(folder);
    faults::CheckRuntime(faults::Op::kList, host);
    std::error_code error;
    std::filesystem::directory_iterator it(host, error);
    if (error) throw ErrorFromSystem(error, kPathNotFound);
    std::vector<std::string> names;
    for (const auto& entry : it) {
        if (entry.is_regular_file(error) && !entry.is_symlink(error))
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
} catch (RuntimeError& error) {
    NamePath(error, folder);
    throw;
}

// One install run. Every step after the version check runs under the error handler: a failing
// step is reported and the run goes on with the next, except where going on would put the game
// archive at risk or report a broken install as done; there the run stops and undoes what it made.
// A run asked to stop (StopSignals.h) stops so at its next stage, extracted entry or packed chunk.
//
// The run works on the folders as they are spelled on disk, and on the one package file it found;
// its texts show both folders as the player reads them (see ShownFolder).
class InstallRun {
public:
    InstallRun(InstallerState& state, std::string gameFolder, InstallDisplay& display,
               MessageBoxSeam& messages)
        : state_(state),
          display_(display),
          messages_(messages),
          gameFolder_(std::move(gameFolder)),
          packageFolder_(OnDiskSpelling(state.packageFolder)),
          shownGameFolder_(ShownFolder(gameFolder_)),
          shownPackageFolder_(ShownFolder(packageFolder_)) {}

    void Run() {
        FindPackage();
        if (!Stages({&InstallRun::ListArchives, &InstallRun::ClearLeftovers,
                     &InstallRun::CreateWorkFolder}))
            return;
        // From here on the run has folders of its own, which a stop or a failure takes back. An
        // archive without the files that failed would replace the game's, and the advice to
        // re-run could not be followed: the next start would open the control panel.
        if (!Stages({&InstallRun::BackUpGameArchive, &InstallRun::ExtractGameArchive,
                     &InstallRun::ExtractPackage, &InstallRun::PackWorkFolder})) {
            RemoveWhatTheRunMade();
            return;
        }
        CleanUp(JoinPath(shownGameFolder_, "\\Orv_Rev31"),
                [&] { fso_.deletefolder(WorkFolder(), true); });
        CleanUp(JoinPath(shownPackageFolder_, "\\KELMORA.UFO"),
                [&] { fso_.deletefile(package_, true); });
    }

private:
    using Stage = bool (InstallRun::*)();

    // Runs stages in order while each succeeds; false when one failed or a stop came first.
    bool Stages(std::initializer_list<Stage> stages) {
        for (Stage stage : stages) {
            if (Stopped() || !(this->*stage)()) return false;
        }
        return true;
    }

    // Whether the run was asked to stop; the stop is then its error.
    bool Stopped() {
        if (!StopRequested()) return false;
        Fail(RuntimeError(kUserInterrupt));
        return true;
    }

    // A clean-up step once the new archive is in place. The install has succeeded, so what could
    // not be deleted is named in its outcome rather than in an error message before it.
    template <typename Removal>
    void CleanUp(const std::string& shownPath, Removal&& removal) {
        try {
            removal();
        } catch (const RuntimeError& error) {
            state_.leftBehind.push_back(shownPath + " (Error " + std::to_string(error.number()) +
                                        ": " + error.description() + ")");
        }
    }

    // Runs one step under the error handler; false when it failed. A folder that exists already
    // (error 75) is passed over without a word.
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

    // "Error 70: Permission denied: c:\cavedog\totala\Orv_Rev31"; without a path the description
    // ends the sentence.
    void ShowError(const RuntimeError& error) {
        const std::string path = ShownPath(ShownPath(error.path(), gameFolder_), packageFolder_);
        messages_.Show({"Error " + std::to_string(error.number()) + ": " + error.description() +
                        (path.empty() ? "." : ": " + path)});
    }

    // Stops the run before the game archive is replaced: the error is the outcome.
    void Fail(const RuntimeError& error) {
        ShowError(error);
        state_.installFailed = true;
    }

    std::string GamePath(const std::string& suffix) const { return JoinPath(gameFolder_, suffix); }
    std::string WorkFolder() const { return GamePath("\\Orv_Rev31"); }
    // `relative` is a listed name ("scripts\a.cob", "\scripts\") below the work folder.
    std::string WorkPath(std::string relative) const {
        if (!relative.starts_with('\\')) relative.insert(0, "\\");
        if (relative.size() > 1 && relative.ends_with('\\')) relative.pop_back();
        return GamePath("\\Orv_Rev31" + relative);
    }

    // The package is the one file of its name that the package folder holds, listed, extracted
    // and deleted as that file. Where there is none, the listing says so.
    void FindPackage() {
        const std::vector<std::string> spellings = SpellingsIn(packageFolder_, "KELMORA.UFO");
        package_ =
            JoinPath(packageFolder_, "\\" + (spellings.size() == 1 ? spellings[0] : "KELMORA.UFO"));
    }

    // A work folder or temporary files of ours that a stopped run left hold nothing anyone needs
    // (the game archive is replaced only once the backup is whole), but stale files in the work
    // folder would be packed into this run's archive, and a link there would lead its files out
    // of the game folder.
    bool ClearLeftovers() {
        try {
            fso_.RemoveIfPresent(WorkFolder());
            fso_.RemoveTemporaries(gameFolder_);
            return true;
        } catch (const RuntimeError& error) {
            Fail(error);
            return false;
        }
    }

    // Lists an archive into the run's lists; false (with the error shown) when it cannot be read.
    template <typename AddEntry>
    bool ListArchive(const std::string& path, AddEntry&& addEntry) {
        HpiHandle handle = HPIOpen(path.c_str());
        if (handle == 0) {
            Fail(HPILastRuntimeError());
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
        return ListArchive(package_, addPackageEntry) &&
               ListArchive(GamePath("\\rev31.gp3"), addGameEntry);
    }

    // The work folder is this run's own, made afresh: without it nothing can be extracted.
    bool CreateWorkFolder() {
        try {
            CreateFolder(WorkFolder());
        } catch (const RuntimeError& error) {
            Fail(error);
            return false;
        }
        Step([&] { SetFolderAttributes(GamePath("\\Orv_rev31"), kHiddenAttribute); });
        for (const std::string& directory : lists_.directories)
            Step([&] { CreateFolder(WorkPath(directory)); });
        return true;
    }

    // A new backup folder appears only holding the whole copy, on the disk: the copy is made and
    // flushed in a folder of the work folder, which is renamed into place and the game folder
    // flushed. A run stopped half-way would otherwise leave a backup folder without the backup,
    // and every later start would open a control panel with nothing to restore.
    bool BackUpGameArchive() {
        const bool reused = fso_.FolderExists(GamePath("\\Orv_Backup"));
        if (!reused) Step([&] { CreateFolder(GamePath("\\Orv_Rev31\\Orv_Backup")); });
        display_.SetAction("Backing up rev31.gp3...");
        try {
            const ContentDigest copied = FileSystemObject().copyfile(
                GamePath("\\rev31.gp3"),
                GamePath(reused ? "\\Orv_Backup\\" : "\\Orv_Rev31\\Orv_Backup\\"), true);
            if (!reused) {
                RenamePath(GamePath("\\Orv_Rev31\\Orv_Backup"), GamePath("\\Orv_Backup"));
                createdBackupFolder_ = true;
                fso_.FlushFolder(gameFolder_);
            }
            CheckBackup(copied);
        } catch (const RuntimeError& error) {
            // Without a copy on the disk the original must not be replaced.
            Fail(error);
            return false;
        }
        display_.SetBar(100);
        display_.Repaint();
        return true;
    }

    // The backup as the disk gives it back must hold the bytes copied from rev31.gp3, which is
    // replaced next: a file system may report a copy or a rename done that lost them.
    void CheckBackup(const ContentDigest& copied) {
        const std::string backup = GamePath("\\Orv_Backup\\rev31.gp3");
        const std::string shown = JoinPath(shownGameFolder_, "\\Orv_Backup\\rev31.gp3");
        if (!fso_.FileExists(backup)) {
            throw RuntimeError(kFileNotFound, ErrorDescription(kFileNotFound) + ": the backup " +
                                                  shown + " is not there once copied");
        }
        if (fso_.DigestOf(backup) != copied) {
            unsoundBackup_ = true;
            throw RuntimeError(kDeviceIOError, ErrorDescription(kDeviceIOError) + ": the backup " +
                                                   shown + " does not hold what was copied");
        }
    }

    // Extracts `entries` of an open archive; `nameOf` gives the name inside the archive. Stops at
    // the first entry that fails, which is reported: false.
    template <typename NameOf>
    bool ExtractEntries(HpiHandle handle, const std::vector<std::string>& entries,
                        NameOf&& nameOf) {
        const std::size_t count = entries.size();
        for (std::size_t i = 0; i < count; ++i) {
            if (Stopped()) return false;
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
                return false;
            }
        }
        return true;
    }

    bool ExtractGameArchive() {
        HpiHandle handle = HPIOpen(GamePath("\\rev31.gp3").c_str());
        display_.SetAction("Extracting data from " + JoinPath(shownGameFolder_, "\\rev31.gp3") +
                           "...");
        const bool extracted = ExtractEntries(handle, lists_.gameFiles,
                                              [](const std::string& entry) { return entry; });
        HPIClose(handle);
        return extracted;
    }

    bool ExtractPackage() {
        HpiHandle handle = HPIOpen(package_.c_str());
        display_.SetAction("Extracting data from " +
                           JoinPath(shownPackageFolder_, "\\Kelmora.ufo") + "...");
        const bool extracted =
            ExtractEntries(handle, lists_.packageFiles,
                           [](const std::string& entry) { return "rev31.gp3" + entry; });
        HPIClose(handle);
        return extracted;
    }

    // One work-folder directory to pack: its name in the archive ("" for the root) and its files.
    struct PackedDirectory {
        std::string name;
        std::string folder;
        std::vector<std::string> files;
    };

    // Every directory is listed before packing begins: one that cannot be listed would leave its
    // files out of the new archive. Files the archives hold at their root come first; "\x\" from
    // the game and "x\" from a package entry "rev31.gp3x\..." are one folder, listed once.
    std::vector<PackedDirectory> ListWorkFolder() {
        std::vector<PackedDirectory> directories{{"", WorkFolder(), FilesIn(WorkFolder())}};
        std::unordered_set<std::string> listed;
        for (const std::string& entry : lists_.directories) {
            std::string name = entry.starts_with('\\') ? entry.substr(1) : entry;
            if (!listed.insert(name).second) continue;
            const std::string folder = WorkPath(entry);
            directories.push_back({std::move(name), folder, FilesIn(folder)});
        }
        return directories;
    }

    bool PackWorkFolder() {
        const std::string archive = GamePath("\\rev31.gp3");
        display_.SetAction("Compressing " + JoinPath(shownGameFolder_, "\\rev31.gp3") + "...");
        display_.SetPercentText("0%");
        display_.SetBar(0);
        display_.Repaint();
        std::vector<PackedDirectory> directories;
        try {
            directories = ListWorkFolder();
        } catch (const RuntimeError& error) {
            Fail(error);
            return false;
        }
        PackDisplayScope packDisplay(display_);
        HpiHandle pack = HPICreate(archive.c_str(), PackProgressUnlessStopped);
        for (const PackedDirectory& directory : directories) {
            if (!directory.name.empty()) HPICreateDirectory(pack, directory.name.c_str());
            for (const std::string& file : directory.files) {
                HPIAddFile(pack, TitleCaseEntryPath(directory.name + file).c_str(),
                           JoinPath(directory.folder, "\\" + file).c_str());
            }
        }
        const bool written = HPIPackArchive(pack, kPackCompression) != 0;
        if (!written) Fail(StopRequested() ? RuntimeError(kUserInterrupt) : HPILastRuntimeError());
        return written;
    }

    // Leaves the game folder as the run found it, less the package: the work folder goes, and
    // so does a backup folder this run created, when it holds nothing but the copy this run made
    // and the game archive is still what it copied, or a copy that failed its check. (A pack
    // whose only failure was flushing the folder has put the new archive in place: then the
    // backup stays, being the only original.)
    void RemoveWhatTheRunMade() {
        Step([&] { fso_.RemoveIfPresent(WorkFolder()); });
        if (!createdBackupFolder_) return;
        Step([&] {
            const std::string copy = GamePath("\\Orv_Backup\\rev31.gp3");
            if (fso_.FileExists(copy) &&
                (unsoundBackup_ || fso_.SameContent(copy, GamePath("\\rev31.gp3"))))
                fso_.deletefile(copy, true);
            std::error_code error;
            if (std::filesystem::is_empty(HostPath(GamePath("\\Orv_Backup")), error)) {
                fso_.deletefolder(GamePath("\\Orv_Backup"), true);
            }
        });
    }

    InstallerState& state_;
    InstallDisplay& display_;
    MessageBoxSeam& messages_;
    const std::string gameFolder_;
    const std::string packageFolder_;
    const std::string shownGameFolder_;
    const std::string shownPackageFolder_;
    std::string package_;
    FileSystemObject fso_;
    InstallLists lists_;
    bool createdBackupFolder_ = false;
    bool unsoundBackup_ = false;
};

// The install under the game folder's lock: a second run stops before it changes anything, and
// so does a run whose game or package folder holds its file in two spellings. A run-time error
// that escapes names its path as the player reads it.
void RunInstall(InstallerState& state, InstallDisplay& display, MessageBoxSeam& messages,
                bool checkVersion) try {
    const std::string gameFolder = OnDiskSpelling(state.gameFolder);
    const std::string shownFolder = ShownFolder(gameFolder);
    const std::optional<FolderLock> lock =
        LockGameFolder(gameFolder, shownFolder, "installed", messages);
    if (!lock) EndProgram(0);
    if (checkVersion) CheckGameVersion(gameFolder, shownFolder, messages);
    std::vector<std::string> twins = SpellingTwins(gameFolder, "rev31.gp3");
    const std::vector<std::string> packages =
        SpellingTwins(OnDiskSpelling(state.packageFolder), "KELMORA.UFO");
    twins.insert(twins.end(), packages.begin(), packages.end());
    if (!twins.empty()) {
        ReportSpellingTwins(twins, "installed", messages);
        EndProgram(0);
    }
    const StopOnSignals stopOnSignals;
    InstallRun(state, gameFolder, display, messages).Run();
} catch (RuntimeError& error) {
    error.SetPath(ShownPath(ShownPath(error.path(), state.gameFolder), state.packageFolder));
    throw;
}

}  // namespace

void InstallPatch(InstallerState& state, InstallDisplay& display, MessageBoxSeam& messages) {
    RunInstall(state, display, messages, true);
}

void InstallPatchAfterVersionCheck(InstallerState& state, InstallDisplay& display,
                                   MessageBoxSeam& messages) {
    RunInstall(state, display, messages, false);
}

Message InstallOutcomeMessage(const InstallerState& state) {
    if (state.installFailed) {
        return {
            "There were some errors during the installation process.  You should re-download "
            "the latest KELMORA.UFO file and re-run this program.",
            kAppTitle, MsgButtons::kOk, MsgIcon::kCritical};
    }
    std::string text = "Installation Successful.  The Orvald's Kelmora is now ready to run.";
    if (!state.leftBehind.empty()) {
        text += "\r\rThese could not be deleted; you may delete them yourself:\r";
        for (const std::string& left : state.leftBehind) text += "\r     " + left;
    }
    return {text};
}

}  // namespace kelmora
