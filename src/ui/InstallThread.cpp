// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/InstallThread.h"

#include <QEventLoop>
#include <QObject>
#include <exception>
#include <string>
#include <thread>

#include "core/ProgramEnd.h"

namespace kelmora {

namespace {

// What the run has set on the percentage and the bar.
struct Progress {
    std::string percent = "0%";
    int bar = 0;
    bool operator==(const Progress&) const = default;
};

// The display and message box the run's thread talks to; each call it passes on is carried out
// on the windows' thread, and the run's thread waits for it.
class HandOverToGuiThread : public InstallDisplay, public MessageBoxSeam {
public:
    HandOverToGuiThread(QObject& guiThread, InstallDisplay& display, MessageBoxSeam& messages)
        : guiThread_(guiThread), display_(display), messages_(messages) {}

    void SetAction(const std::string& text) override {
        OnGuiThread([&] { display_.SetAction(text); });
    }
    void SetPercentText(const std::string& text) override { pending_.percent = text; }
    void SetBar(int percent) override { pending_.bar = percent; }
    // What has not changed is on screen already: the window draws itself whenever it is exposed.
    void Repaint() override {
        if (pending_ == shown_) return;
        shown_ = pending_;
        OnGuiThread([&] {
            display_.SetPercentText(shown_.percent);
            display_.SetBar(shown_.bar);
            display_.Repaint();
        });
    }

    MsgAnswer Show(const Message& message) override {
        MsgAnswer answer = MsgAnswer::kOk;
        OnGuiThread([&] { answer = messages_.Show(message); });
        return answer;
    }

private:
    // Whatever the call throws goes on from the run's thread, never through the event loop.
    template <typename Call>
    void OnGuiThread(Call&& call) {
        std::exception_ptr thrown;
        QMetaObject::invokeMethod(
            &guiThread_,
            [&] {
                try {
                    call();
                } catch (...) {
                    thrown = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (thrown) std::rethrow_exception(thrown);
    }

    QObject& guiThread_;
    InstallDisplay& display_;
    MessageBoxSeam& messages_;
    Progress pending_;
    Progress shown_;
};

}  // namespace

void RunInstallOffGuiThread(const InstallProcedure& install, InstallDisplay& display,
                            MessageBoxSeam& messages) {
    QObject guiThread;
    HandOverToGuiThread handOver(guiThread, display, messages);
    QEventLoop waiting;
    std::exception_ptr escaped;
    std::thread run([&] {
        {
            ProgramEndUnwindsThisThread endUnwinds;
            try {
                install(handOver, handOver);
            } catch (...) {
                escaped = std::current_exception();
            }
        }
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    waiting.exec();
    run.join();
    if (escaped) std::rethrow_exception(escaped);
}

}  // namespace kelmora
