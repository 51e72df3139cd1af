// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowStyle.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyleOptionButton>
#include <QWidget>
#include <functional>
#include <mutex>

#include "ui/ProgramIcon.h"

namespace kelmora {

namespace {

// Fonts with Arial's widths and line height, in which every text was measured to fit: the one the
// program depends on, then those that stand in for it. Helvetica's clones are as wide but have
// taller lines, and must not take their place.
const QStringList kArialMetricFamilies = {QStringLiteral("Liberation Sans"),
                                          QStringLiteral("Arimo"), QStringLiteral("Arial")};
// Where none of them is installed: wider, but one pixel smaller every text fits, and every Debian
// system has it.
constexpr const char* kFallbackFamily = "DejaVu Sans";

// The family the font system uses for `font`, without the foundry it adds where two have one.
QString FamilyShown(const QFont& font) {
    const QString family = QFontInfo(font).family();
    const qsizetype foundry = family.indexOf(QStringLiteral(" ["));
    return foundry < 0 ? family : family.left(foundry);
}

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

// A command button. Where the window's mark follows the focus, it is drawn as the default while
// it has the focus, and the default button is drawn so only while no command button has it. The
// dark frame is drawn around a bevel made one pixel smaller, as classic dialogs draw it.
class CommandButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    void SetMarkFollowsFocus(bool follows) { markFollowsFocus_ = follows; }

    // The command button that has the focus in `window`, if one has.
    static CommandButton* Focused(const QWidget* window) {
        return dynamic_cast<CommandButton*>(window->focusWidget());
    }

protected:
    void initStyleOption(QStyleOptionButton* option) const override {
        QPushButton::initStyleOption(option);
        constexpr auto kMark =
            QStyleOptionButton::DefaultButton | QStyleOptionButton::AutoDefaultButton;
        option->features &= ~kMark;
        if (DrawnAsDefault()) option->features |= kMark;
    }
    void focusInEvent(QFocusEvent* event) override {
        QPushButton::focusInEvent(event);
        RedrawCommandButtons();
    }
    void focusOutEvent(QFocusEvent* event) override {
        QPushButton::focusOutEvent(event);
        RedrawCommandButtons();
    }

private:
    bool DrawnAsDefault() const {
        const CommandButton* focused = markFollowsFocus_ ? Focused(window()) : nullptr;
        return focused ? focused == this : isDefault();
    }
    void RedrawCommandButtons() const {
        for (QPushButton* button : window()->findChildren<QPushButton*>()) button->update();
    }

    bool markFollowsFocus_ = true;
};

void PressOnKey(QWidget* window, QKeySequence key, std::function<QPushButton*()> chosen) {
    auto* shortcut = new QShortcut(key, window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window, [chosen = std::move(chosen)] {
        QPushButton* button = chosen();
        if (button && button->isVisible() && button->isEnabled()) button->click();
    });
}

// Windows has no Liberation Sans: the program carries it, so that every text keeps the measures
// the windows were laid out in.
void AddCarriedFonts() {
#ifdef KELMORA_CARRIES_FONTS
    static std::once_flag added;
    std::call_once(added, [] {
        for (const char* file :
             {":/fonts/LiberationSans-Regular.ttf", ":/fonts/LiberationSans-Bold.ttf"})
            QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    });
#endif
}

}  // namespace

QRect TwipsRect(int left, int top, int width, int height) {
    return {Pixels(left), Pixels(top), Pixels(width), Pixels(height)};
}

void SetUpWindow(QWidget* window, const QString& caption, int widthTwips, int heightTwips,
                 WindowKind kind) {
    window->setWindowFlags(FlagsFor(kind));
    window->setWindowTitle(caption);
    // A window with no button on its title bar has no icon there either; an empty icon of its
    // own keeps it from taking its owner's.
    window->setWindowIcon(kind == WindowKind::kDialogWithoutCloseBox ? QIcon() : ProgramIcon());
    window->setFixedSize(Pixels(widthTwips), Pixels(heightTwips));
    CentreOnScreen(window);
}

void SetDefaultAndCancel(QWidget* window, QPushButton* defaultButton, QPushButton* cancelButton,
                         EnterPresses enter) {
    const bool focusedFirst = enter == EnterPresses::kFocusedButton;
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (auto* command = dynamic_cast<CommandButton*>(button))
            command->SetMarkFollowsFocus(focusedFirst);
    }
    if (defaultButton) defaultButton->setDefault(true);
    const auto pressedByEnter = [window, defaultButton, focusedFirst]() -> QPushButton* {
        CommandButton* focused = focusedFirst ? CommandButton::Focused(window) : nullptr;
        return focused ? focused : defaultButton;
    };
    PressOnKey(window, QKeySequence(Qt::Key_Return), pressedByEnter);
    PressOnKey(window, QKeySequence(Qt::Key_Enter), pressedByEnter);
    if (cancelButton) {
        PressOnKey(window, QKeySequence(Qt::Key_Escape), [cancelButton] { return cancelButton; });
    }
}

void SetTabOrder(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

QFont ProgramFont() {
    AddCarriedFonts();
    QFont font;
    font.setFamilies(kArialMetricFamilies);
    // 7.5 points at the 96 dots per inch the twips are laid out for. A pixel size keeps text and
    // layout in step on screens that report another density.
    font.setPixelSize(10);
    if (kArialMetricFamilies.contains(FamilyShown(font))) return font;
    QFont fallback(QString::fromLatin1(kFallbackFamily));
    fallback.setPixelSize(9);
    return fallback;
}

std::string ProgramFontNote() {
    const QString shown = FamilyShown(ProgramFont());
    if (shown == kArialMetricFamilies.front()) return {};
    std::string note =
        "kelmora-installer: the font Liberation Sans is not installed (Debian package "
        "fonts-liberation); using " +
        shown.toStdString();
    if (kArialMetricFamilies.contains(shown)) return note + ", which has the same measures.";
    if (shown == QLatin1String(kFallbackFamily)) return note + " a size smaller.";
    return note + ", in which some texts may not fit.";
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
    auto* button = new CommandButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    button->setGeometry(geometry);
    return button;
}

}  // namespace kelmora
