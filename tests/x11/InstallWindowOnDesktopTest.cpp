// SPDX-License-Identifier: GPL-3.0-or-later
// The install window on a real X server while an install of 1,500 files runs: what the
// screen shows, read from the screen by a recorder of its own; and its action line with a long
// game folder.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <tuple>

#include "core/PackProgress.h"
#include "support/GameSandbox.h"
#include "support/ScriptedMessageBox.h"
#include "support/X11Desktop.h"
#include "ui/InstallProgressWindow.h"
#include "x11/ProgressTrack.h"

namespace kelmora {
namespace {

using Clock = std::chrono::steady_clock;
using testing::BarWidth;
using testing::ScreenRecorder;
using testing::Track;
using testing::X11Desktop;

// What the progress track shows: its percentage text and its bar.
struct Progress {
    std::string percent;
    int bar;
    bool operator==(const Progress&) const = default;
};

// Tells which progress a picture of the track shows, by drawing the track of a window of its own
// (never shown) in each state it may be in and comparing every pixel.
class ProgressReader {
public:
    explicit ProgressReader(InstallerState& state)
        : window_(state), inner_(Track(window_)->contentsRect()) {}

    const QRect& Inner() const { return inner_; }

    std::optional<Progress> Read(const QImage& picture) {
        const int width = BarWidth(picture, inner_);
        for (int bar = 0; bar <= 100; ++bar) {
            if (inner_.width() * bar / 100 != width) continue;
            // The backup fills the bar while the text still reads 0%.
            for (const std::string& percent : {std::to_string(bar) + "%", std::string("0%")}) {
                if (picture == Drawn({percent, bar})) return Progress{percent, bar};
            }
        }
        return std::nullopt;
    }

private:
    const QImage& Drawn(const Progress& progress) {
        const std::string key = progress.percent + "/" + std::to_string(progress.bar);
        auto [known, added] = drawn_.try_emplace(key);
        if (added) {
            window_.SetPercentText(progress.percent);
            window_.SetBar(progress.bar);
            known->second = Track(window_)->grab().toImage().convertToFormat(QImage::Format_RGB32);
        }
        return known->second;
    }

    InstallProgressWindow window_;
    QRect inner_;
    std::map<std::string, QImage> drawn_;
};

// Notes when each message comes.
class TimedMessages : public testing::ScriptedMessageBox {
public:
    MsgAnswer Show(const Message& message) override {
        times.push_back(Clock::now());
        return ScriptedMessageBox::Show(message);
    }
    std::vector<Clock::time_point> times;
};

// Notes when a widget is first painted.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget& widget) { widget.installEventFilter(this); }
    std::optional<Clock::time_point> at;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !at) at = Clock::now();
        return false;
    }
};

// Where the window manager puts the inside of an install window that asks for `asked`: it puts
// the frame there, so the inside lies by the frame's edges further in, as another install window
// shown first tells.
QRect WhereShown(X11Desktop& desktop, InstallerState& state, const QRect& asked) {
    InstallProgressWindow probe(state);
    probe.show();
    EXPECT_TRUE(desktop.WaitUntilManaged(probe));
    const QMargins frame = desktop.Facts(probe).frameExtents;
    return asked.translated(frame.left(), frame.top());
}

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

TEST(InstallWindowOnDesktopTest, TheScreenShowsTheBarAndPercentageGrowWhileTheInstallRuns) {
    X11Desktop desktop;
    if (!desktop.IsUsable()) GTEST_SKIP() << "needs an X server (tests/x11/run-in-desktop)";
    testing::GameSandbox sandbox(testing::ManyFiles("", 1200),
                                 testing::ManyFiles("rev31.gp3", 300));
    InstallerState state{sandbox.gameFolder.string(), sandbox.packageFolder.string()};
    ProgressReader reader(state);
    lastPackPercent = 0;

    InstallProgressWindow window(state);
    const QRect clientRect = WhereShown(desktop, state, window.geometry());
    ScreenRecorder recorder(QRect(clientRect.topLeft() + Track(window)->mapTo(&window, QPoint()),
                                  Track(window)->size()));
    ASSERT_TRUE(recorder.IsRecording());
    // Once a third of the bar is blue, the window is covered and uncovered: it must draw again.
    const QRect inner = reader.Inner();
    recorder.CoverOnceWhen(
        [inner](const QImage& track) { return BarWidth(track, inner) > inner.width() / 3; });
    FirstPaint firstPaint(window);
    TimedMessages messages;
    {
        testing::CatchProgramEnd catchEnd;
        try {
            window.Activate();
        } catch (const ProgramEnded& end) {
            EXPECT_EQ(end.status, 0);
        }
    }
    recorder.Stop();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Installation Successful.  The Orvald's Kelmora is now ready to run.");
    EXPECT_EQ(desktop.Facts(window).clientRect, clientRect) << "the recorder watched elsewhere";

    std::vector<Progress> shown;
    std::optional<Clock::time_point> redrawnAfterUncovering;
    for (const ScreenRecorder::Frame& frame : recorder.Frames()) {
        const std::optional<Progress> progress = reader.Read(frame.image);
        if (!progress) continue;
        if (shown.empty() || shown.back() != *progress) shown.push_back(*progress);
        if (recorder.UncoveredAt() && frame.at >= *recorder.UncoveredAt() &&
            !redrawnAfterUncovering)
            redrawnAfterUncovering = frame.at;
    }
    ASSERT_FALSE(shown.empty()) << "the window was never seen drawn";
    EXPECT_EQ(shown.front(), (Progress{"0%", 0})) << "drawn before the install's first step";
    std::set<std::string> percentages;
    // The bar grows, and starts again at each of the three later steps (extracting the game
    // archive, extracting the package, packing).
    int restarts = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        percentages.insert(shown[i].percent);
        if (i > 0 && shown[i].bar < shown[i - 1].bar) ++restarts;
    }
    EXPECT_GE(percentages.size(), 5u);
    EXPECT_LE(restarts, 3);
    ASSERT_TRUE(recorder.UncoveredAt()) << "the bar never reached a third";
    EXPECT_TRUE(redrawnAfterUncovering) << "not drawn again once uncovered";

    ASSERT_TRUE(firstPaint.at);
    std::printf(
        "install window: %zu distinct percentages on screen, %zu states; first draw to "
        "outcome box %.0f ms; uncovered to drawn again %.1f ms\n",
        percentages.size(), shown.size(), Milliseconds(messages.times[0] - *firstPaint.at),
        redrawnAfterUncovering ? Milliseconds(*redrawnAfterUncovering - *recorder.UncoveredAt())
                               : -1.0);
}

// A folder of 200 characters leaves the line its drive or first folder and its file name, and the
// screen shows that one line as the label paints it.
TEST(InstallWindowOnDesktopTest, AnActionWithALongFolderStaysOnItsLineShortenedInTheMiddle) {
    X11Desktop desktop;
    if (!desktop.IsUsable()) GTEST_SKIP() << "needs an X server (tests/x11/run-in-desktop)";
    InstallerState state;
    InstallProgressWindow window(state);
    window.show();
    ASSERT_TRUE(desktop.WaitUntilManaged(window));
    auto* action = window.findChild<QLabel*>(QStringLiteral("actionLabel"));
    for (const auto& [root, separator, start] :
         {std::tuple{"c:\\games", '\\', "Extracting data from c:\\games\\\u2026\\"},
          {"/home", '/', "Extracting data from /home/\u2026/"}}) {
        std::string folder = root;
        while (folder.size() < 200) folder += separator + std::string("total annihilation 3.1c");
        folder.resize(200);
        window.SetAction("Extracting data from " + folder + separator + "rev31.gp3...");
        const QString shown = action->text();
        EXPECT_TRUE(shown.startsWith(QString::fromUtf8(start))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(QChar(separator) + QStringLiteral("rev31.gp3...")))
            << shown.toStdString();
        EXPECT_LE(action->fontMetrics().horizontalAdvance(shown), action->contentsRect().width());
        // The track below covers the label's last row.
        const QRect text(action->mapToGlobal(QPoint()), action->size() - QSize(0, 1));
        const QImage painted = action->grab(QRect(QPoint(), text.size()))
                                   .toImage()
                                   .convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(QTest::qWaitFor([&] { return desktop.Grab(text) == painted; }));
    }
}

}  // namespace
}  // namespace kelmora
