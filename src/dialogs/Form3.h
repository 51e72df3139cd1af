#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kelmora {

// The release notes, the last step before installing: Yes closes the window and the caller goes
// on; No ends the program.
class Form3 : public QDialog {
public:
    explicit Form3(QWidget* parent = nullptr);

protected:
    // There is no close box: Yes and No are the only ways out.
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* Command1;
    QPushButton* Command2;
};

}  // namespace kelmora
