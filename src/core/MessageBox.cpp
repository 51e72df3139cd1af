// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MessageBox.h"

#include <stdexcept>

namespace kelmora {

namespace {
MessageBoxSeam* currentMessageBox = nullptr;
}  // namespace

MessageBoxSeam& CurrentMessageBox() {
    if (!currentMessageBox) throw std::logic_error("no message box installed");
    return *currentMessageBox;
}

MessageBoxSeam* SetCurrentMessageBox(MessageBoxSeam* seam) {
    MessageBoxSeam* previous = currentMessageBox;
    currentMessageBox = seam;
    return previous;
}

}  // namespace kelmora
