// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractNativeEventFilter>
#include <QImage>
#include <QMargins>
#include <QRect>
#include <QStringList>
#include <QWindow>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QWidget;
typedef struct _XDisplay Display;

namespace kelmora::testing {

// _MOTIF_WM_HINTS, as Qt sets them from the window flags: the functions and decorations a window
// asks the window manager for.
struct MotifHints {
    // Bits of `functions` and of `decorations` (MwmUtil.h).
    enum Function : unsigned long {
        kResize = 2,
        kMove = 4,
        kMinimize = 8,
        kMaximize = 16,
        kClose = 32
    };
    enum Decoration : unsigned long { kBorder = 2, kResizeHandles = 4, kTitle = 8, kMenu = 16 };

    unsigned long flags = 0;
    unsigned long functions = 0;
    unsigned long decorations = 0;

    // Whether a window manager that honours the hints offers `function`, or draws `decoration`
    // (the "all" bit turns the rest into a list of exceptions; no hint at all means everything).
    bool Offers(Function function) const;
    bool Draws(Decoration decoration) const;
};

// What the X server and the window manager say about one top-level window.
struct WindowFacts {
    QString title;               // _NET_WM_NAME
    QRect clientRect;            // the window's inside, in screen coordinates
    QMargins frameExtents;       // _NET_FRAME_EXTENTS: the window manager's frame around it
    QStringList allowedActions;  // _NET_WM_ALLOWED_ACTIONS, e.g. "_NET_WM_ACTION_CLOSE"
    QStringList states;          // _NET_WM_STATE, e.g. "_NET_WM_STATE_SKIP_TASKBAR"
    QStringList types;           // _NET_WM_WINDOW_TYPE, e.g. "_NET_WM_WINDOW_TYPE_DIALOG"
    // WM_TRANSIENT_FOR when it names a window on screen; 0 for none, for the root window and for
    // Qt's hidden group leader (a dialog without parent), which task bars take for no owner.
    unsigned long transientFor = 0;
    std::optional<MotifHints> motif;
    QSize minimumSize;  // WM_NORMAL_HINTS
    QSize maximumSize;
    bool viewable = false;  // mapped, and so are all its ancestors
    bool hasIcon = false;   // _NET_WM_ICON: an icon for the title bar and the task bar
    QStringList wmClass;    // WM_CLASS: instance and class, which docks match to desktop entries

    // Whether the window manager offers `action`, given without its prefix ("CLOSE", "MINIMIZE",
    // "MAXIMIZE_HORZ", "RESIZE").
    bool Allows(const char* action) const;
    // Whether task bars leave the window out: it asks to be skipped, or it is a dialog that
    // belongs to a window on screen (task bars following EWMH list neither).
    bool SkipsTaskbar() const;
};

// The X server a test's Qt application runs on (tests/x11/run-in-desktop starts one with a
// window manager): real key presses and clicks through XTEST, what the window manager made of a
// window, and the pixels on the screen.
class X11Desktop : private QAbstractNativeEventFilter {
public:
    // Needs a QApplication on the "xcb" platform; IsUsable() says whether the server was found.
    X11Desktop();
    ~X11Desktop() override;
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    bool IsUsable() const { return display_ != nullptr; }

    // Presses and releases a key combination of X key names joined by '+', such as "Return",
    // "Escape", "Shift+Tab", "Alt+F4", "a" or "Shift+a" (a capital), and returns once Qt has
    // handled the events (false for an unknown key name or when Qt does not catch up; see Sync).
    bool PressKeys(const QString& combination);
    // Moves the pointer to `screenPoint` and clicks the left button, then as PressKeys; on a Qt
    // window it also waits for the click that the window manager holds back while it gives the
    // focus.
    bool Click(QPoint screenPoint);
    // Clicks the middle of `widget`.
    bool Click(const QWidget& widget);

    // Waits until Qt has read and handled every event the server sent it so far (not those the
    // window manager sends later, such as a close request). Returns false when that takes longer
    // than a few seconds.
    bool Sync();

    // Waits until the window manager has framed `window`, it is on screen where Qt places it, and
    // Qt has had it exposed.
    bool WaitUntilManaged(const QWidget& window);
    WindowFacts Facts(const QWidget& window);
    WindowFacts Facts(unsigned long window);
    // The window with its frame, in screen coordinates.
    QRect FrameRect(const QWidget& window);
    QRect FrameRect(unsigned long window);

    // Windows of any program, by X id: those the window manager lists (_NET_CLIENT_LIST) with
    // `title`, and the one among them (other than `otherThan`) that is on screen and has the
    // focus, once there is one (0 when none comes in time for a program to start).
    QList<unsigned long> ClientsTitled(const QString& title);
    unsigned long WaitForActiveClient(const QString& title, unsigned long otherThan = 0);

    // The pixels the screen shows in `screenRect`.
    QImage Grab(const QRect& screenRect);

    // The name the window manager gives itself ("Openbox", "Metacity").
    QString WindowManager();

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    // Waits until `seen` holds, then lets Qt deliver what it has read.
    static bool WaitAndDeliver(const std::function<bool()>& seen);

    Display* display_ = nullptr;
    unsigned long syncAtom_ = 0;
    QWindow syncWindow_;  // Qt's own window, which the server's sync markers are sent to
    long syncsSent_ = 0;
    long syncsSeen_ = 0;
    long buttonReleasesSeen_ = 0;
    int xinputOpcode_ = -1;
};

// Records what the screen shows in a rect, on a thread and a connection of its own, so that it
// sees the screen whatever the program's threads are doing: every picture that differs from the
// one before, with the time it was seen, from construction to Stop().
class ScreenRecorder {
public:
    struct Frame {
        std::chrono::steady_clock::time_point at;
        QImage image;
    };

    explicit ScreenRecorder(const QRect& screenRect);
    ~ScreenRecorder();
    ScreenRecorder(const ScreenRecorder&) = delete;
    ScreenRecorder& operator=(const ScreenRecorder&) = delete;

    bool IsRecording() const { return recording_.joinable(); }
    void Stop();

    // Once a recorded picture satisfies `condition` (called on the recording thread), covers the
    // rect with a white window of its own, records that, and uncovers it again.
    void CoverOnceWhen(std::function<bool(const QImage&)> condition);
    // When the rect was uncovered, if it was.
    std::optional<std::chrono::steady_clock::time_point> UncoveredAt() const;

    std::vector<Frame> Frames() const;

private:
    void Record(std::stop_token stop);
    void CoverAndUncover();

    const QRect rect_;
    Display* display_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<Frame> frames_;
    std::function<bool(const QImage&)> coverWhen_;
    std::optional<std::chrono::steady_clock::time_point> uncoveredAt_;
    std::jthread recording_;  // last: it stops before the rest goes
};

}  // namespace kelmora::testing
