#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

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

}  // namespace kelmora::testing
