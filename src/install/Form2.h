#pragma once

#include <QDialog>

#include "install/InstallDisplay.h"

class QGroupBox;
class QLabel;
class QFrame;

namespace kelmora {

// The install window: shows the install procedure's current action and progress. Once it is
// first shown it runs the install, tells the outcome and ends the program.
class Form2 : public QDialog, public InstallDisplay {
    Q_OBJECT

public:
    explicit Form2(QWidget* parent = nullptr);

    void SetAction(const std::string& text) override;
    void SetPercentText(const std::string& text) override;
    void SetBar(int percent) override;
    void Repaint() override;

    // What the first activation does: runs the install on this window, shows the outcome and
    // ends the program.
    [[noreturn]] void Activate();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QGroupBox* Frame1;
    QLabel* Label1;
    QFrame* Picture1;
    QWidget* Shape1;
    QLabel* Label2;
    bool activated_ = false;
};

}  // namespace kelmora
