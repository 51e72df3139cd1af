// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The one way the program shows a message box. Windows and procedures hand a Message to a
// MessageBoxSeam; the program's seam shows a real box, tests and the unattended mode answer it.
namespace kelmora {

inline constexpr const char* kAppTitle = "Orvald's Kelmora Installation Program";

enum class MsgButtons { kOk, kYesNo };
enum class MsgIcon { kNone, kCritical, kQuestion };
enum class MsgAnswer { kOk, kYes, kNo };

struct Message {
    std::string text;  // lines separated by CR alone
    std::string title = kAppTitle;
    MsgButtons buttons = MsgButtons::kOk;
    MsgIcon icon = MsgIcon::kNone;
};

class MessageBoxSeam {
public:
    virtual ~MessageBoxSeam() = default;
    virtual MsgAnswer Show(const Message& message) = 0;
};

// The process's current message box; the program installs its own at start-up.
MessageBoxSeam& CurrentMessageBox();
// Installs `seam` as the current message box (nullptr: none) and returns the one it replaces.
MessageBoxSeam* SetCurrentMessageBox(MessageBoxSeam* seam);

}  // namespace kelmora
