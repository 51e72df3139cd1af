// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ControlPanelWindow.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>

#include "core/MessageBox.h"
#include "core/ProgramEnd.h"
#include "ui/WindowStyle.h"

namespace kelmora {

namespace {

constexpr int kClientWidthTwips = 4800;
constexpr int kClientHeightTwips = 960;

constexpr const char* kCredits =
    "Orvald's Kelmora Credits:\r"
    "     Concept:\r"
    "          Orvald\r"
    "\r"
    "     Scripting and installation program:\r"
    "          Haskel\r"
    "\r"
    "     Additional scripting:\r"
    "          Nimbrel\r"
    "          Orvald\r"
    "\r"
    "     Special thanks to:\r"
    "          Arno P., for his HPIUtil run-time library\r"
    "          Quorrin\r"
    "\r"
    "Copyright \u00a9 1999-2026 Orvald and Haskel";

}  // namespace

ControlPanelWindow::ControlPanelWindow(std::string gameFolder, QWidget* parent)
    : QMainWindow(parent), gameFolder_(std::move(gameFolder)) {
    BuildMenus();
    BuildControls();
    // The client area lies below the menu bar, so the window is that much taller: as tall as the
    // window's layout makes the bar at the window's width.
    const int menuBarTwips = menuBar()->heightForWidth(Pixels(kClientWidthTwips)) * kTwipsPerPixel;
    SetUpWindow(this, QStringLiteral("Orvald's Kelmora Control Panel"), kClientWidthTwips,
                kClientHeightTwips + menuBarTwips, WindowKind::kMainWindow);
    Load();
}

void ControlPanelWindow::BuildMenus() {
    // Kept inside the window, where the layout expects it, even under a desktop's global menu.
    menuBar()->setNativeMenuBar(false);
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    QAction* exitAction = fileMenu->addAction(QStringLiteral("E&xit"));
    exitAction->setObjectName(QStringLiteral("exitAction"));
    exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    connect(exitAction, &QAction::triggered, this, &ControlPanelWindow::ExitClicked);

    QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    QAction* aboutAction = helpMenu->addAction(QStringLiteral("&About the bugfix..."));
    aboutAction->setObjectName(QStringLiteral("aboutAction"));
    connect(aboutAction, &QAction::triggered, this, &ControlPanelWindow::AboutClicked);
}

void ControlPanelWindow::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    uninstallFrame_ = MakeFrame(client, "uninstallFrame", QStringLiteral("Uninstall"),
                                TwipsRect(120, 120, 2175, 735));
    uninstallButton_ = MakeButton(uninstallFrame_, "uninstallButton", QStringLiteral("Execute"),
                                  TwipsRect(120, 240, 1815, 375));
    modeFrame_ =
        MakeFrame(client, "modeFrame", QStringLiteral("Disable"), TwipsRect(2520, 120, 2175, 735));
    disableButton_ = MakeButton(modeFrame_, "disableButton", QStringLiteral("Execute"),
                                TwipsRect(120, 240, 1935, 375));
    enableButton_ = MakeButton(modeFrame_, "enableButton", QStringLiteral("Execute"),
                               TwipsRect(120, 240, 1935, 375));
    enableButton_->hide();
    SetTabOrder({uninstallButton_, disableButton_, enableButton_});
    // No default and no cancel button: Enter presses the Execute button that has the focus.
    SetDefaultAndCancel(this, nullptr, nullptr);

    connect(uninstallButton_, &QPushButton::clicked, this,
            [this] { RunAction(PanelAction::kUninstall); });
    connect(disableButton_, &QPushButton::clicked, this,
            [this] { RunAction(PanelAction::kDisable); });
    connect(enableButton_, &QPushButton::clicked, this,
            [this] { RunAction(PanelAction::kEnable); });
}

// The mode is chosen once: every action ends the program, so it never needs refreshing.
void ControlPanelWindow::Load() {
    if (!PanelOffersEnable(gameFolder_)) return;
    modeFrame_->setTitle(QStringLiteral("Enable"));
    disableButton_->hide();
    enableButton_->show();
}

void ControlPanelWindow::RunAction(PanelAction action) {
    try {
        RunPanelAction(action, gameFolder_, CurrentMessageBox());
    } catch (const RuntimeError& error) {
        ReportUncaughtError(error);
    }
}

void ControlPanelWindow::ExitClicked() {
    EndProgram(0);
}

void ControlPanelWindow::AboutClicked() {
    CurrentMessageBox().Show(Message{kCredits});
}

void ControlPanelWindow::closeEvent(QCloseEvent*) {
    EndProgram(0);
}

}  // namespace kelmora
