// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Application.h"

#include <QStyle>
#include <QStyleFactory>
#include <cstdio>

#include "core/ProgramEnd.h"
#include "ui/WindowStyle.h"

namespace kelmora {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv), previousMessageBox_(SetCurrentMessageBox(&messageBox_)) {
    // The class of the windows on X11, which the desktop entry's StartupWMClass names, so that a
    // dock ties them to the entry; Wayland matches them by the desktop file's name.
    setApplicationName(QStringLiteral("kelmora-installer"));
    setDesktopFileName(QStringLiteral("io.github.kelmora.Installer"));
    // The classic dialogs' look on every platform: frame captions in the border line, buttons
    // without icons, the same colours everywhere.
    QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"));
    setStyle(classic);
    setPalette(classic->standardPalette());
    setFont(ProgramFont());
    if (const std::string note = ProgramFontNote(); !note.empty()) {
        std::fprintf(stderr, "%s\n", note.c_str());
    }
}

Application::~Application() {
    SetCurrentMessageBox(previousMessageBox_);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const RuntimeError& error) {
        ReportUncaughtError(error);
    }
}

}  // namespace kelmora
