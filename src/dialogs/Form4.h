#pragma once

#include <QDialog>
#include <array>

#include "dialogs/GuidanceTexts.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace kelmora {

// The installation help: the user picks one of five problems and reads its resolution. Each
// window starts with no problem picked.
class Form4 : public QDialog {
public:
    explicit Form4(QWidget* parent = nullptr);

protected:
    // A click on a problem's text picks its option button.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildProblems();
    void Label1Click(int index);
    void Option1Click(int index);

    QPushButton* Command1;
    QGroupBox* Frame2;
    QLabel* Label2;
    QGroupBox* Frame1;
    std::array<QRadioButton*, kProblemCount> Option1;
    std::array<QLabel*, kProblemCount> Label1;
};

}  // namespace kelmora
