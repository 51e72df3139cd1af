// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/GameFolderGuard.h"

#include "platform/PathMapping.h"

namespace kelmora {

namespace {

void Refuse(const std::string& text, MessageBoxSeam& messages) {
    messages.Show(Message{text, kAppTitle, MsgButtons::kOk, MsgIcon::kCritical});
}

}  // namespace

std::optional<FolderLock> LockGameFolder(const std::string& gameFolder,
                                         const std::string& shownFolder, const char* cannot,
                                         MessageBoxSeam& messages) {
    std::optional<FolderLock> lock = FolderLock::TryTake(gameFolder);
    if (!lock) {
        Refuse(std::string("Orvald's Kelmora cannot be ") + cannot +
                   " now: another run of this program is changing the folder\r\r" + shownFolder +
                   "\r\rNothing has been changed.  Let the other run finish, then try again.",
               messages);
    }
    return lock;
}

std::vector<std::string> SpellingTwins(const std::string& folder, std::string_view name) {
    std::vector<std::string> twins;
    const std::vector<std::string> spellings = SpellingsIn(folder, name);
    if (spellings.size() < 2) return twins;
    for (const std::string& spelling : spellings)
        twins.push_back(JoinPath(folder, "\\" + spelling));
    return twins;
}

void ReportSpellingTwins(const std::vector<std::string>& twins, const char* cannot,
                         MessageBoxSeam& messages) {
    std::string list;
    for (const std::string& twin : twins) list += (list.empty() ? "" : "\r") + twin;
    Refuse(std::string("Orvald's Kelmora cannot be ") + cannot +
               " because these files have the same name in different letter case:\r\r" + list +
               "\r\rNeither the game nor this program can tell them apart.  Move the one that does "
               "not belong there to another folder, then try again.  Nothing has been changed.",
           messages);
}

}  // namespace kelmora
