#include "ui/WindowStyle.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QWidget>

namespace kelmora {

namespace {

Qt::WindowFlags FlagsFor(WindowKind kind) {
    // CustomizeWindowHint drops the buttons that are not asked for, minimise and maximise above
    // all.
    Qt::WindowFlags flags =
        Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint;
    switch (kind) {
        case WindowKind::kMainWindow:
            return flags | Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        case WindowKind::kDialog:
            return flags | Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        case WindowKind::kDialogWithoutCloseBox:
            break;
    }
    return flags | Qt::Dialog;
}

void CentreOnScreen(QWidget* window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect placed = window->geometry();
    placed.moveCenter(screen->availableGeometry().center());
    window->move(placed.topLeft());
}

void PressOnKey(QWidget* window, QKeySequence key, QPushButton* button) {
    auto* shortcut = new QShortcut(key, window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, button, [button] {
        if (button->isVisible() && button->isEnabled()) button->click();
    });
}

}  // namespace

QRect TwipsRect(int left, int top, int width, int height) {
    return {Pixels(left), Pixels(top), Pixels(width), Pixels(height)};
}

void SetUpWindow(QWidget* window, const QString& caption, int widthTwips, int heightTwips,
                 WindowKind kind) {
    window->setWindowFlags(FlagsFor(kind));
    window->setWindowTitle(caption);
    window->setFixedSize(Pixels(widthTwips), Pixels(heightTwips));
    CentreOnScreen(window);
}

void SetDefaultAndCancel(QWidget* window, QPushButton* defaultButton, QPushButton* cancelButton) {
    defaultButton->setDefault(true);
    PressOnKey(window, QKeySequence(Qt::Key_Return), defaultButton);
    PressOnKey(window, QKeySequence(Qt::Key_Enter), defaultButton);
    PressOnKey(window, QKeySequence(Qt::Key_Escape), cancelButton);
}

void SetTabOrder(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

QFont ProgramFont() {
    QFont font(QStringLiteral("Liberation Sans"));
    // 7.5 points at the 96 dots per inch the twips are laid out for. A pixel size keeps text and
    // layout in step on screens that report another density.
    font.setPixelSize(10);
    return font;
}

QString DisplayText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

QLabel* MakeLabel(QWidget* parent, const char* name, std::string_view text, QRect geometry) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(DisplayText(text));
    label->setGeometry(geometry);
    return label;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(QString::fromLatin1(name));
    frame->setGeometry(geometry);
    return frame;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    button->setGeometry(geometry);
    return button;
}

}  // namespace kelmora
