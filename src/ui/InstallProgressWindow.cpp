// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/InstallProgressWindow.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>

#include "core/MessageBox.h"
#include "core/PatchInstall.h"
#include "core/ProgramEnd.h"
#include "ui/InstallThread.h"
#include "ui/WindowStyle.h"

namespace kelmora {

namespace {

constexpr int kTrackBorder = 2;
constexpr QColor kBarColour(0, 0, 255);
// The install starts once the window is drawn; the bound only keeps a window that the desktop
// never exposes from holding it up for ever.
constexpr int kLongestWaitForFirstDrawMs = 5000;

// The action text on one line `width` pixels wide. A path in it (from its drive or root to the end
// of the text) too long for the line gives up whole folders from its middle for an ellipsis,
// keeping its drive or first folder and its file name ("c:\games\…\totala\rev31.gp3..."); a text
// still too long loses its middle.
QString OnOneLine(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    static const QRegularExpression pathRoot(QStringLiteral("(^| )([A-Za-z]:)?[\\\\/]"));
    if (const QRegularExpressionMatch root = pathRoot.match(text); root.hasMatch()) {
        const qsizetype start = root.capturedEnd();
        const QChar separator = text[start - 1];
        const QStringList names = text.mid(start).split(separator);
        for (qsizetype dropped = 1; dropped + 1 < names.size(); ++dropped) {
            const QString shortened = text.left(start) + names.front() + separator + QChar(0x2026) +
                                      separator + names.mid(1 + dropped).join(separator);
            if (metrics.horizontalAdvance(shortened) <= width) return shortened;
        }
    }
    return metrics.elidedText(text, Qt::ElideMiddle, width);
}

void SetBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace

InstallProgressWindow::InstallProgressWindow(InstallerState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
    setObjectName("installProgressWindow");
    SetUpWindow(this, QStringLiteral("Installing Orvald's Kelmora"), 6960, 1080,
                WindowKind::kDialogWithoutCloseBox);
    setModal(true);

    actionFrame_ = MakeFrame(this, "actionFrame", QStringLiteral("Current Action:"),
                             TwipsRect(120, 120, 6735, 855));

    actionLabel_ = MakeLabel(actionFrame_, "actionLabel", "Preparing to install...",
                             TwipsRect(120, 240, 6495, 255));
    actionLabel_->setWordWrap(false);

    progressTrack_ = new QFrame(actionFrame_);
    progressTrack_->setObjectName("progressTrack");
    progressTrack_->setGeometry(TwipsRect(120, 480, 6495, 255));
    progressTrack_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    progressTrack_->setLineWidth(kTrackBorder);
    SetBackground(progressTrack_, Qt::black);
    const QRect inner = progressTrack_->contentsRect();

    progressBar_ = new QWidget(progressTrack_);
    progressBar_->setObjectName("progressBar");
    SetBackground(progressBar_, kBarColour);

    percentLabel_ = new QLabel("0%", progressTrack_);
    percentLabel_->setObjectName("percentLabel");
    percentLabel_->setGeometry(inner);
    percentLabel_->setAlignment(Qt::AlignCenter);
    QFont bold = percentLabel_->font();
    bold.setBold(true);
    percentLabel_->setFont(bold);
    QPalette white = percentLabel_->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    percentLabel_->setPalette(white);
    percentLabel_->raise();
    SetBar(0);
}

void InstallProgressWindow::SetAction(const std::string& text) {
    actionLabel_->setText(OnOneLine(DisplayText(text), actionLabel_->fontMetrics(),
                                    actionLabel_->contentsRect().width()));
    actionLabel_->repaint();
}

void InstallProgressWindow::SetPercentText(const std::string& text) {
    percentLabel_->setText(QString::fromStdString(text));
}

void InstallProgressWindow::SetBar(int percent) {
    const QRect inner = progressTrack_->contentsRect();
    const int width = inner.width() * std::clamp(percent, 0, 100) / 100;
    progressBar_->setGeometry(inner.x(), inner.y(), width, inner.height());
    progressBar_->setVisible(width > 0);
}

void InstallProgressWindow::Repaint() {
    repaint();
}

void InstallProgressWindow::ShowAndWaitUntilDrawn() {
    QEventLoop waiting;
    firstDrawWaiter_ = &waiting;
    show();
    QTimer::singleShot(kLongestWaitForFirstDrawMs, &waiting, &QEventLoop::quit);
    if (!drawn_) waiting.exec();
    firstDrawWaiter_ = nullptr;
}

void InstallProgressWindow::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    drawn_ = true;
    if (firstDrawWaiter_) firstDrawWaiter_->quit();
}

// The run is not interruptible: the window has no way to be closed.
void InstallProgressWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void InstallProgressWindow::reject() {}

void InstallProgressWindow::Activate() {
    ShowAndWaitUntilDrawn();
    Repaint();
    MessageBoxSeam& messages = CurrentMessageBox();
    try {
        RunInstallOffGuiThread(
            [this](InstallDisplay& display, MessageBoxSeam& runMessages) {
                InstallPatch(state_, display, runMessages);
            },
            *this, messages);
    } catch (const ProgramEnded& end) {
        EndProgram(end.status);
    } catch (const RuntimeError& error) {
        ReportUncaughtError(error);
    }
    messages.Show(InstallOutcomeMessage(state_));
    EndProgram(0);
}

}  // namespace kelmora
