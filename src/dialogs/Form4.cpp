#include "dialogs/Form4.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>

#include "app/FormStyle.h"

namespace kelmora {

namespace {

struct ProblemPlace {
    int left;
    int top;
    int labelHeight;
};

// Where each problem's option button stands in its frame, in twips; its text follows 240 to the
// right. Problems 0, 1 and 3 form the left column, 2 and 4 the right one.
constexpr std::array<ProblemPlace, kProblemCount> kProblemPlaces = {{
    {120, 240, 255},
    {120, 480, 615},
    {3120, 240, 975},
    {120, 1080, 495},
    {3120, 1080, 375},
}};

constexpr int kOptionSize = 255;
constexpr int kProblemTextWidth = 2775;
constexpr int kProblemTextOffset = 240;

// One problem's option button. Qt makes an exclusive group of buttons a single stop for Tab,
// while here Tab runs through every problem; so the buttons are not exclusive by themselves, the
// window clears the others, and a click never clears a picked button.
class OptionButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void nextCheckState() override { setChecked(true); }
};

}  // namespace

Form4::Form4(QWidget* parent) : QDialog(parent) {
    SetUpForm(this, QStringLiteral("Installation Help"), 6480, 4320, FormKind::kDialog);

    Command1 = MakeButton(this, "Command1", QStringLiteral("OK"), TwipsRect(5160, 3840, 1215, 375));
    Frame2 =
        MakeFrame(this, "Frame2", QStringLiteral("Resolution"), TwipsRect(120, 1920, 6255, 1815));
    Label2 = MakeLabel(Frame2, "Label2", "", TwipsRect(120, 240, 6015, 1455));
    Label2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label2->setBackgroundRole(QPalette::Base);
    Label2->setAutoFillBackground(true);
    Frame1 = MakeFrame(this, "Frame1", QStringLiteral("Problem"), TwipsRect(120, 120, 6255, 1695));
    BuildProblems();

    SetTabOrder({Option1[0], Command1, Option1[1], Option1[2], Option1[3], Option1[4]});
    SetDefaultAndCancel(this, Command1, Command1);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);
    Option1[0]->setFocus();
}

void Form4::BuildProblems() {
    for (int index = 0; index < kProblemCount; ++index) {
        const ProblemPlace& place = kProblemPlaces[static_cast<std::size_t>(index)];
        auto* option = new OptionButton(Frame1);
        option->setAutoExclusive(false);
        option->setObjectName(QStringLiteral("Option1_%1").arg(index));
        option->setGeometry(TwipsRect(place.left, place.top, kOptionSize, kOptionSize));
        if (index >= 1 && index <= 3) {
            option->setToolTip(QStringLiteral("The \"TA Directory\" button is grayed out."));
        }
        connect(option, &QRadioButton::toggled, this, [this, index](bool checked) {
            if (checked) Option1Click(index);
        });

        QLabel* label = MakeLabel(Frame1, "", ProblemText(index),
                                  TwipsRect(place.left + kProblemTextOffset, place.top,
                                            kProblemTextWidth, place.labelHeight));
        label->setObjectName(QStringLiteral("Label1_%1").arg(index));
        label->installEventFilter(this);

        Option1[static_cast<std::size_t>(index)] = option;
        Label1[static_cast<std::size_t>(index)] = label;
    }
}

bool Form4::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (int index = 0; index < kProblemCount; ++index) {
            if (watched == Label1[static_cast<std::size_t>(index)]) Label1Click(index);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Form4::Label1Click(int index) {
    QRadioButton* option = Option1[static_cast<std::size_t>(index)];
    option->setFocus(Qt::MouseFocusReason);
    option->setChecked(true);
}

void Form4::Option1Click(int index) {
    for (int other = 0; other < kProblemCount; ++other) {
        if (other != index) Option1[static_cast<std::size_t>(other)]->setChecked(false);
    }
    Label2->setText(DisplayText(ResolutionText(index)));
}

}  // namespace kelmora
