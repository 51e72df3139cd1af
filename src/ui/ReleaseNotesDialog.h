// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kelmora {

// The release notes, the last step before installing: Yes closes the window and the caller goes
// on; No ends the program.
class ReleaseNotesDialog : public QDialog {
public:
    explicit ReleaseNotesDialog(QWidget* parent = nullptr);

protected:
    // There is no close box: Yes and No are the only ways out.
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* notesLabel_;
    QLabel* proceedLabel_;
    QPushButton* yesButton_;
    QPushButton* noButton_;
};

}  // namespace kelmora
