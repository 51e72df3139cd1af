// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/GuidanceTexts.h"

#include <array>
#include <initializer_list>

namespace kelmora {

namespace {

std::string Paragraphs(std::initializer_list<const char*> paragraphs) {
    std::string text;
    for (const char* paragraph : paragraphs) {
        if (!text.empty()) text += "\r\r";
        text += paragraph;
    }
    return text;
}

constexpr const char* kRegistryFault =
    "This problem is caused by a fault within the Windows registry.  The installer attempts to "
    "look up the TA installation directory by calling the uninstall information in the Registry.  "
    "If you are experiencing this problem, then that information was somehow removed from the "
    "Registry.";

// Placeholder addresses of this project; nobody answers at them.
constexpr const char* kPatchAuthorMail = "orvald@example.org";
constexpr const char* kInstallerAuthorMail = "haskel@example.org";
constexpr const char* kChatServer = "irc.example.org";

std::string ContactText() {
    return "If you have a question about the patch itself, please contact Orvald (" +
           std::string(kPatchAuthorMail) + ").\r\r" +
           "If you have a question about the patch installer, please contact Haskel (" +
           kInstallerAuthorMail + ").\r\r" + "Both of us are also available on IRC (" +
           kChatServer + ").";
}

}  // namespace

std::string ReleaseNotesText() {
    return Paragraphs({
        "Orvald's Kelmora requires certain files to be placed in certain subdirectories within "
        "the Total Annihilation folders in order to run correctly.  Certain other units and/or "
        "user modifications may require different versions of these files in order to run "
        "correctly.",
        "This installation program will OVERWRITE all such files.  Doing so may render those "
        "units flawed or unplayable, and/or may introduce errors into the TA engine.  Thus, it is "
        "advised that you uninstall all user modifications that use any customized versions of "
        "the default AI profiles, as well as any modification that uses the SIDEDATA.TDF file.  ",
        "This program has undergone significant testing, and appears to be quite safe.  However, "
        "Orvald and Haskel cannot assume liability for any conflict, corruption, or damage caused "
        "by this program.",
    });
}

std::string ProblemText(int index) {
    static constexpr std::array<const char*, kProblemCount> kProblems = {
        "The \"OK\" button is grayed out.",
        "The \"TA Directory\" button is grayed out and the installer can't find my TA directory.",
        "I am trying to uninstall or disable this patch, but I keep getting the main screen with "
        "the \"TA Directory\" button grayed out and the first text box blank.",
        "I am getting error messages about incorrect file versions.",
        "I have a different question.  How can I contact you?",
    };
    if (index < 0 || index >= kProblemCount) return {};
    return kProblems[static_cast<std::size_t>(index)];
}

std::string ResolutionText(int index) {
    switch (index) {
        case 0:
            return Paragraphs({
                "This problem is caused by the installer being unable to find one of the key files "
                "needed to install the patch.",
                "Please verify that the files totala1.hpi, ccdata.ccx, and rev31.gp3 are all in "
                "the "
                "directory indicated by the first text box.  Also, the file Kelmora.ufo must be in "
                "the directory indicated by the second text box.",
            });
        case 1:
            return Paragraphs({
                kRegistryFault,
                "This error is not fatal.  You must simply type in the proper directory into the "
                "first text box to install this patch.",
            });
        case 2:
            return Paragraphs({
                kRegistryFault,
                "This error is not fatal.  You must simply type in the proper directory into the "
                "first text box to uninstall or disable this patch.",
            });
        case 3:
            return Paragraphs({
                "This problem is most likely caused by the installation of another 3rd-party "
                "rev31.gp3 modification.",
                "To avoid seeing these errors, please restore the original files from backup "
                "copies, or preform a clean reinstallation of TA.",
            });
        case 4:
            return ContactText();
        default:
            return {};
    }
}

}  // namespace kelmora
