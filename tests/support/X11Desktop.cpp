// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/X11Desktop.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTest>
#include <QWidget>
#include <bit>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Xlib's macros (None, Bool, Status...) clash with Qt's and GoogleTest's names: it comes last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace kelmora::testing {

namespace {

constexpr int kTimeoutMs = 5000;
constexpr long kWmStateNormal = 1;

Window XWindow(const QWidget& widget) {
    return static_cast<Window>(widget.winId());
}

// Hands a property's format (8, 16 or 32), item count and items to `use`, when it is set.
template <typename Use>
void WithProperty(Display* display, Window window, const char* name, long maxLength, Use use) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const Atom property = XInternAtom(display, name, False);
    if (XGetWindowProperty(display, window, property, 0, maxLength, False, AnyPropertyType, &type,
                           &format, &count, &remaining, &data) == Success &&
        data) {
        use(format, count, data);
    }
    if (data) XFree(data);
}

// The 32-bit items of a property (Xlib hands them over as longs); empty when it is not set.
std::vector<unsigned long> Items(Display* display, Window window, const char* name) {
    std::vector<unsigned long> items;
    WithProperty(display, window, name, 1024,
                 [&](int format, unsigned long count, const unsigned char* data) {
                     if (format != 32) return;
                     const auto* values = reinterpret_cast<const unsigned long*>(data);
                     items.assign(values, values + count);
                 });
    return items;
}

QString Utf8Property(Display* display, Window window, const char* name) {
    QString text;
    WithProperty(display, window, name, 4096,
                 [&](int format, unsigned long count, const unsigned char* data) {
                     if (format != 8) return;
                     text = QString::fromUtf8(reinterpret_cast<const char*>(data),
                                              static_cast<qsizetype>(count));
                 });
    return text;
}

QStringList AtomNames(Display* display, const std::vector<unsigned long>& atoms) {
    QStringList names;
    for (const unsigned long atom : atoms) {
        char* name = XGetAtomName(display, atom);
        if (!name) continue;
        names << QString::fromLatin1(name);
        XFree(name);
    }
    return names;
}

// An X error (a window that went away meanwhile, say) fails that one request, not the test.
int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

// One half of the Motif hints: `bits` lists what is asked for, or, with the "all" bit set, what is
// not; without `present` everything is.
bool MotifAsks(bool present, unsigned long bits, unsigned long bit) {
    constexpr unsigned long kAll = 1;
    if (!present) return true;
    return (bits & kAll) ? !(bits & bit) : (bits & bit) != 0;
}

// The pixels the screen shows in `screenRect`.
QImage GrabScreen(Display* display, const QRect& screenRect) {
    const Window root = DefaultRootWindow(display);
    XWindowAttributes screen{};
    XGetWindowAttributes(display, root, &screen);
    const QRect area = screenRect.intersected(QRect(0, 0, screen.width, screen.height));
    if (area.isEmpty()) return {};
    XImage* pixels =
        XGetImage(display, root, area.x(), area.y(), static_cast<unsigned>(area.width()),
                  static_cast<unsigned>(area.height()), AllPlanes, ZPixmap);
    if (!pixels) return {};
    // Each mask covers 8 bits on the 24-bit screens this runs on.
    const int redShift = std::countr_zero(pixels->red_mask);
    const int greenShift = std::countr_zero(pixels->green_mask);
    const int blueShift = std::countr_zero(pixels->blue_mask);
    QImage image(area.size(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y) {
        for (int x = 0; x < area.width(); ++x) {
            const unsigned long pixel = XGetPixel(pixels, x, y);
            image.setPixel(x, y,
                           qRgb(static_cast<int>((pixel & pixels->red_mask) >> redShift),
                                static_cast<int>((pixel & pixels->green_mask) >> greenShift),
                                static_cast<int>((pixel & pixels->blue_mask) >> blueShift)));
        }
    }
    XDestroyImage(pixels);
    return image;
}

// Whether the keyboard's input goes to `window` or a window inside it. A program that takes the
// focus when the window manager offers it (WM_TAKE_FOCUS, as Qt and Wine do) sets it once it has
// made the window its active one, so keys sent from then on reach it.
bool HasInputFocus(Display* display, Window window) {
    Window focus = 0;
    int revertTo = 0;
    XGetInputFocus(display, &focus, &revertTo);
    const Window root = DefaultRootWindow(display);
    while (focus != 0 && focus != PointerRoot && focus != root) {
        if (focus == window) return true;
        Window rootReturned = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, focus, &rootReturned, &parent, &children, &count)) return false;
        if (children) XFree(children);
        focus = parent;
    }
    return false;
}

}  // namespace

bool MotifHints::Offers(Function function) const {
    constexpr unsigned long kFunctionsGiven = 1;
    return MotifAsks(flags & kFunctionsGiven, functions, function);
}

bool MotifHints::Draws(Decoration decoration) const {
    constexpr unsigned long kDecorationsGiven = 2;
    return MotifAsks(flags & kDecorationsGiven, decorations, decoration);
}

bool WindowFacts::Allows(const char* action) const {
    return allowedActions.contains(QStringLiteral("_NET_WM_ACTION_") + QLatin1String(action));
}

bool WindowFacts::SkipsTaskbar() const {
    return states.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")) ||
           (transientFor != 0 && types.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_DIALOG")));
}

X11Desktop::X11Desktop() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    int unused = 0;
    if (!XTestQueryExtension(display, &unused, &unused, &unused, &unused)) {
        XCloseDisplay(display);
        return;
    }
    XSetErrorHandler(IgnoreError);
    display_ = display;
    syncAtom_ = XInternAtom(display_, "KELMORA_TEST_SYNC", False);
    XQueryExtension(display_, "XInputExtension", &xinputOpcode_, &unused, &unused);
    syncWindow_.create();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11Desktop::~X11Desktop() {
    if (!display_) return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    XCloseDisplay(display_);
}

bool X11Desktop::PressKeys(const QString& combination) {
    std::vector<KeyCode> keys;
    for (const QString& name : combination.split(QLatin1Char('+'))) {
        QString keyName = name;
        if (name == QLatin1String("Shift")) keyName = QStringLiteral("Shift_L");
        if (name == QLatin1String("Ctrl")) keyName = QStringLiteral("Control_L");
        if (name == QLatin1String("Alt")) keyName = QStringLiteral("Alt_L");
        const KeySym symbol = XStringToKeysym(keyName.toLatin1().constData());
        const KeyCode key = symbol == NoSymbol ? 0 : XKeysymToKeycode(display_, symbol);
        if (key == 0) return false;
        keys.push_back(key);
    }
    for (const KeyCode key : keys) XTestFakeKeyEvent(display_, key, True, CurrentTime);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        XTestFakeKeyEvent(display_, *key, False, CurrentTime);
    }
    return Sync();
}

bool X11Desktop::Click(QPoint screenPoint) {
    const bool onQtWindow = QGuiApplication::topLevelAt(screenPoint) != nullptr;
    const long releasesBefore = buttonReleasesSeen_;
    XTestFakeMotionEvent(display_, -1, screenPoint.x(), screenPoint.y(), CurrentTime);
    XTestFakeButtonEvent(display_, Button1, True, CurrentTime);
    XTestFakeButtonEvent(display_, Button1, False, CurrentTime);
    if (!Sync()) return false;
    // A window manager that grabs the button to give the focus hands the click on only once it
    // is done, which can be after the marker.
    return !onQtWindow || WaitAndDeliver([&] { return buttonReleasesSeen_ > releasesBefore; });
}

bool X11Desktop::Click(const QWidget& widget) {
    return Click(widget.mapToGlobal(widget.rect().center()));
}

bool X11Desktop::Sync() {
    // The server sends the marker to Qt's connection after every event it has sent there before,
    // so once Qt reads the marker it has read all of them.
    const long awaited = ++syncsSent_;
    XEvent marker{};
    marker.xclient.type = ClientMessage;
    marker.xclient.window = static_cast<Window>(syncWindow_.winId());
    marker.xclient.message_type = syncAtom_;
    marker.xclient.format = 32;
    marker.xclient.data.l[0] = awaited;
    XSendEvent(display_, marker.xclient.window, False, NoEventMask, &marker);
    XFlush(display_);
    return WaitAndDeliver([&] { return syncsSeen_ >= awaited; });
}

bool X11Desktop::WaitAndDeliver(const std::function<bool()>& seen) {
    if (!QTest::qWaitFor(seen, kTimeoutMs)) return false;
    // Qt queues what it read as window-system events; this delivers them.
    QCoreApplication::processEvents();
    return true;
}

bool X11Desktop::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const int type = event->response_type & 0x7f;
    // Qt takes the pointer through XInput 2 where the server has it, from the master device (it
    // hears the device that sent the event too), else as core events.
    const auto* release = static_cast<const xcb_input_button_release_event_t*>(message);
    if (type == XCB_BUTTON_RELEASE ||
        (type == XCB_GE_GENERIC && release->extension == xinputOpcode_ &&
         release->event_type == XCB_INPUT_BUTTON_RELEASE &&
         release->deviceid != release->sourceid)) {
        ++buttonReleasesSeen_;
    }
    if (type != XCB_CLIENT_MESSAGE) return false;
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    if (client->type != syncAtom_ || client->window != syncWindow_.winId()) return false;
    syncsSeen_ = static_cast<long>(client->data.data32[0]);
    return true;
}

bool X11Desktop::WaitUntilManaged(const QWidget& window) {
    const Window id = XWindow(window);
    const auto managed = [&] {
        const std::vector<unsigned long> wmState = Items(display_, id, "WM_STATE");
        return !wmState.empty() && wmState[0] == kWmStateNormal && Facts(window).viewable;
    };
    // Qt knows where the window manager put the window once its geometry matches the server's.
    const auto placed = [&] { return Sync() && window.geometry() == Facts(window).clientRect; };
    return QTest::qWaitFor(managed, kTimeoutMs) && QTest::qWaitFor(placed, kTimeoutMs) &&
           QTest::qWaitForWindowExposed(window.windowHandle(), kTimeoutMs);
}

WindowFacts X11Desktop::Facts(const QWidget& window) {
    return Facts(XWindow(window));
}

WindowFacts X11Desktop::Facts(unsigned long id) {
    WindowFacts facts;
    facts.title = Utf8Property(display_, id, "_NET_WM_NAME");

    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display_, id, &attributes)) {
        int left = 0;
        int top = 0;
        Window child = 0;
        XTranslateCoordinates(display_, id, attributes.root, 0, 0, &left, &top, &child);
        facts.clientRect = QRect(left, top, attributes.width, attributes.height);
        facts.viewable = attributes.map_state == IsViewable;
    }
    const std::vector<unsigned long> extents = Items(display_, id, "_NET_FRAME_EXTENTS");
    if (extents.size() == 4) {
        facts.frameExtents = QMargins(static_cast<int>(extents[0]), static_cast<int>(extents[2]),
                                      static_cast<int>(extents[1]), static_cast<int>(extents[3]));
    }
    facts.allowedActions = AtomNames(display_, Items(display_, id, "_NET_WM_ALLOWED_ACTIONS"));
    facts.states = AtomNames(display_, Items(display_, id, "_NET_WM_STATE"));
    facts.types = AtomNames(display_, Items(display_, id, "_NET_WM_WINDOW_TYPE"));
    Window owner = 0;
    XWindowAttributes ownerAttributes{};
    if (XGetTransientForHint(display_, id, &owner) && owner != 0 &&
        XGetWindowAttributes(display_, owner, &ownerAttributes) &&
        ownerAttributes.map_state == IsViewable && owner != attributes.root) {
        facts.transientFor = owner;
    }

    facts.hasIcon = !Items(display_, id, "_NET_WM_ICON").empty();
    if (XClassHint hint{}; XGetClassHint(display_, id, &hint)) {
        facts.wmClass = {QString::fromLocal8Bit(hint.res_name),
                         QString::fromLocal8Bit(hint.res_class)};
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    const std::vector<unsigned long> motif = Items(display_, id, "_MOTIF_WM_HINTS");
    if (motif.size() >= 3) facts.motif = MotifHints{motif[0], motif[1], motif[2]};

    XSizeHints hints{};
    long supplied = 0;
    if (XGetWMNormalHints(display_, id, &hints, &supplied)) {
        if (hints.flags & PMinSize) facts.minimumSize = QSize(hints.min_width, hints.min_height);
        if (hints.flags & PMaxSize) facts.maximumSize = QSize(hints.max_width, hints.max_height);
    }
    return facts;
}

QRect X11Desktop::FrameRect(const QWidget& window) {
    return FrameRect(XWindow(window));
}

QRect X11Desktop::FrameRect(unsigned long window) {
    const WindowFacts facts = Facts(window);
    return facts.clientRect.marginsAdded(facts.frameExtents);
}

QList<unsigned long> X11Desktop::ClientsTitled(const QString& title) {
    QList<unsigned long> titled;
    const Window root = DefaultRootWindow(display_);
    for (const unsigned long client : Items(display_, root, "_NET_CLIENT_LIST")) {
        if (Utf8Property(display_, client, "_NET_WM_NAME") == title) titled << client;
    }
    return titled;
}

unsigned long X11Desktop::WaitForActiveClient(const QString& title, unsigned long otherThan) {
    const Window root = DefaultRootWindow(display_);
    unsigned long found = 0;
    const auto active = [&] {
        const std::vector<unsigned long> activeWindow = Items(display_, root, "_NET_ACTIVE_WINDOW");
        for (const unsigned long client : ClientsTitled(title)) {
            if (client != otherThan && Facts(client).viewable && !activeWindow.empty() &&
                activeWindow[0] == client && HasInputFocus(display_, client)) {
                found = client;
                return true;
            }
        }
        return false;
    };
    // Long enough for a program to start, under a sanitizer too.
    constexpr int kStartTimeoutMs = 30000;
    return QTest::qWaitFor(active, kStartTimeoutMs) ? found : 0;
}

QImage X11Desktop::Grab(const QRect& screenRect) {
    return GrabScreen(display_, screenRect);
}

QString X11Desktop::WindowManager() {
    const Window root = DefaultRootWindow(display_);
    const std::vector<unsigned long> check = Items(display_, root, "_NET_SUPPORTING_WM_CHECK");
    return check.empty() ? QString() : Utf8Property(display_, check[0], "_NET_WM_NAME");
}

ScreenRecorder::ScreenRecorder(const QRect& screenRect) : rect_(screenRect) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    display_ = display;
    recording_ = std::jthread([this](std::stop_token stop) { Record(stop); });
}

ScreenRecorder::~ScreenRecorder() {
    Stop();
    if (display_) XCloseDisplay(display_);
}

void ScreenRecorder::Stop() {
    if (!recording_.joinable()) return;
    recording_.request_stop();
    recording_.join();
}

void ScreenRecorder::CoverOnceWhen(std::function<bool(const QImage&)> condition) {
    std::lock_guard lock(mutex_);
    coverWhen_ = std::move(condition);
}

std::optional<std::chrono::steady_clock::time_point> ScreenRecorder::UncoveredAt() const {
    std::lock_guard lock(mutex_);
    return uncoveredAt_;
}

void ScreenRecorder::Record(std::stop_token stop) {
    QImage previous;
    while (!stop.stop_requested()) {
        QImage image = GrabScreen(display_, rect_);
        const auto now = std::chrono::steady_clock::now();
        std::function<bool(const QImage&)> coverWhen;
        {
            std::lock_guard lock(mutex_);
            if (image != previous) frames_.push_back({now, image});
            if (coverWhen_ && coverWhen_(image)) std::swap(coverWhen, coverWhen_);
        }
        previous = image;
        if (coverWhen) CoverAndUncover();
        // A sampling interval: the screen is read as often as this, whatever the program does.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// A window of this connection's own, over the rect and above every other, that no window
// manager handles; when it goes, the windows below are exposed and must draw themselves again.
void ScreenRecorder::CoverAndUncover() {
    const Window root = DefaultRootWindow(display_);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = WhitePixel(display_, DefaultScreen(display_));
    const Window cover =
        XCreateWindow(display_, root, rect_.x(), rect_.y(), static_cast<unsigned>(rect_.width()),
                      static_cast<unsigned>(rect_.height()), 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(display_, cover);
    XSync(display_, False);
    QImage covered = GrabScreen(display_, rect_);
    XDestroyWindow(display_, cover);
    XSync(display_, False);
    std::lock_guard lock(mutex_);
    frames_.push_back({std::chrono::steady_clock::now(), std::move(covered)});
    uncoveredAt_ = std::chrono::steady_clock::now();
}

std::vector<ScreenRecorder::Frame> ScreenRecorder::Frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

}  // namespace kelmora::testing
