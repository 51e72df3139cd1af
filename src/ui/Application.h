// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

#include "ui/QtMessageBox.h"

namespace kelmora {

// The program's application object: its title, look and font, its message box, and the report of
// a run-time error that no event handler trapped.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    ~Application() override;

    // Delivers every event; a RuntimeError escaping a handler ends the program with the standard
    // report, before it can unwind through the toolkit's own code.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    QtMessageBox messageBox_;
    MessageBoxSeam* previousMessageBox_;
};

}  // namespace kelmora
