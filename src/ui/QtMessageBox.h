// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/MessageBox.h"

namespace kelmora {

// The program's message box: a modal QMessageBox over the modal or else the active window. Texts
// are plain text (a path with "<" in it is never taken for markup) and a CR starts a new line.
class QtMessageBox : public MessageBoxSeam {
public:
    MsgAnswer Show(const Message& message) override;
};

}  // namespace kelmora
