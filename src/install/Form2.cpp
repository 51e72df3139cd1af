#include "install/Form2.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <algorithm>

#include "app/FormStyle.h"
#include "app/MessageBox.h"
#include "app/ProgramEnd.h"
#include "install/Rev31Update.h"

namespace kelmora {

namespace {

constexpr int kTrackBorder = 2;
constexpr QColor kBarColour(0, 0, 255);

void SetBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace

Form2::Form2(QWidget* parent) : QDialog(parent) {
    setObjectName("Form2");
    SetUpForm(this, QStringLiteral("Installing Orvald's Kelmora"), 6960, 1080,
              FormKind::kDialogWithoutCloseBox);
    setModal(true);

    Frame1 = MakeFrame(this, "Frame1", QStringLiteral("Current Action:"),
                       TwipsRect(120, 120, 6735, 855));

    Label1 = MakeLabel(Frame1, "Label1", "Preparing to install...", TwipsRect(120, 240, 6495, 255));

    Picture1 = new QFrame(Frame1);
    Picture1->setObjectName("Picture1");
    Picture1->setGeometry(TwipsRect(120, 480, 6495, 255));
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setLineWidth(kTrackBorder);
    SetBackground(Picture1, Qt::black);
    const QRect inner = Picture1->contentsRect();

    Shape1 = new QWidget(Picture1);
    Shape1->setObjectName("Shape1");
    SetBackground(Shape1, kBarColour);

    Label2 = new QLabel("0%", Picture1);
    Label2->setObjectName("Label2");
    Label2->setGeometry(inner);
    Label2->setAlignment(Qt::AlignCenter);
    QFont bold = ProgramFont();
    bold.setBold(true);
    Label2->setFont(bold);
    QPalette white = Label2->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label2->setPalette(white);
    Label2->raise();
    SetBar(0);
}

void Form2::SetAction(const std::string& text) {
    Label1->setText(DisplayText(text));
    Label1->repaint();
}

void Form2::SetPercentText(const std::string& text) {
    Label2->setText(QString::fromStdString(text));
}

void Form2::SetBar(int percent) {
    const QRect inner = Picture1->contentsRect();
    const int width = inner.width() * std::clamp(percent, 0, 100) / 100;
    Shape1->setGeometry(inner.x(), inner.y(), width, inner.height());
    Shape1->setVisible(width > 0);
}

void Form2::Repaint() {
    repaint();
}

void Form2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (activated_) return;
    activated_ = true;
    // Run once the window is on screen, from the modal loop that shows it.
    QTimer::singleShot(0, this, &Form2::Activate);
}

// The run is not interruptible: the window has no way to be closed.
void Form2::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void Form2::reject() {}

void Form2::Activate() {
    Repaint();
    MessageBoxSeam& messages = CurrentMessageBox();
    try {
        Rev31Update(*this, messages);
    } catch (const RuntimeError& error) {
        ReportUncaughtError(error);
    }
    messages.Show(InstallOutcomeMessage());
    EndProgram(0);
}

}  // namespace kelmora
