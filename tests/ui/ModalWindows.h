// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "core/ProgramEnd.h"

namespace kelmora::testing {

// Hands the next modal window to `action` as soon as its event loop runs; `shown` counts the
// windows handed over, so a test can tell that none appeared.
inline void WhenModalShows(std::function<void(QWidget*)> action, int* shown = nullptr) {
    QTimer::singleShot(0, [action = std::move(action), shown] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (shown) ++*shown;
        action(modal);
    });
}

// While alive, EndProgram throws ProgramEnded, also from inside a modal window's event loop. The
// dialogs are hidden first, as the real end closes them: Qt's widgets are built without exception
// support, so a dialog left open would later reach for the event loop the unwinding skipped.
class CatchProgramEndInDialogs {
public:
    CatchProgramEndInDialogs() {
        SetProgramEndHook([](int status) {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (qobject_cast<QDialog*>(window) && window->isVisible()) window->hide();
            }
            throw ProgramEnded{status};
        });
    }
    ~CatchProgramEndInDialogs() { SetProgramEndHook(nullptr); }
    CatchProgramEndInDialogs(const CatchProgramEndInDialogs&) = delete;
    CatchProgramEndInDialogs& operator=(const CatchProgramEndInDialogs&) = delete;
};

}  // namespace kelmora::testing
