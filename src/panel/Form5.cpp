#include "panel/Form5.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>

#include "app/FormStyle.h"
#include "app/Globals.h"
#include "app/MessageBox.h"
#include "app/ProgramEnd.h"

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

Form5::Form5(QWidget* parent) : QMainWindow(parent) {
    BuildMenus();
    BuildControls();
    // The client area lies below the menu bar, so the window is that much taller.
    const int menuBarTwips = menuBar()->sizeHint().height() * kTwipsPerPixel;
    SetUpForm(this, QStringLiteral("Orvald's Kelmora Control Panel"), kClientWidthTwips,
              kClientHeightTwips + menuBarTwips, FormKind::kMainWindow);
    Load();
}

void Form5::BuildMenus() {
    // Kept inside the window, where the layout expects it, even under a desktop's global menu.
    menuBar()->setNativeMenuBar(false);
    QMenu* F_Menu = menuBar()->addMenu(QStringLiteral("&File"));
    F_Menu->setObjectName(QStringLiteral("F_Menu"));
    QAction* FE_Menu = F_Menu->addAction(QStringLiteral("E&xit"));
    FE_Menu->setObjectName(QStringLiteral("FE_Menu"));
    FE_Menu->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    connect(FE_Menu, &QAction::triggered, this, &Form5::FE_MenuClick);

    QMenu* H_Menu = menuBar()->addMenu(QStringLiteral("&Help"));
    H_Menu->setObjectName(QStringLiteral("H_Menu"));
    QAction* HA_Menu = H_Menu->addAction(QStringLiteral("&About the bugfix..."));
    HA_Menu->setObjectName(QStringLiteral("HA_Menu"));
    connect(HA_Menu, &QAction::triggered, this, &Form5::HA_MenuClick);
}

void Form5::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    Frame2 =
        MakeFrame(client, "Frame2", QStringLiteral("Uninstall"), TwipsRect(120, 120, 2175, 735));
    Command1 =
        MakeButton(Frame2, "Command1", QStringLiteral("Execute"), TwipsRect(120, 240, 1815, 375));
    Frame1 =
        MakeFrame(client, "Frame1", QStringLiteral("Disable"), TwipsRect(2520, 120, 2175, 735));
    Command2 =
        MakeButton(Frame1, "Command2", QStringLiteral("Execute"), TwipsRect(120, 240, 1935, 375));
    Command3 =
        MakeButton(Frame1, "Command3", QStringLiteral("Execute"), TwipsRect(120, 240, 1935, 375));
    Command3->hide();
    SetTabOrder({Command1, Command2, Command3});

    connect(Command1, &QPushButton::clicked, this, [this] { RunAction(PanelAction::kUninstall); });
    connect(Command2, &QPushButton::clicked, this, [this] { RunAction(PanelAction::kDisable); });
    connect(Command3, &QPushButton::clicked, this, [this] { RunAction(PanelAction::kEnable); });
}

// The mode is chosen once: every action ends the program, so it never needs refreshing.
void Form5::Load() {
    if (!PanelOffersEnable(TADir)) return;
    Frame1->setTitle(QStringLiteral("Enable"));
    Command2->hide();
    Command3->show();
}

void Form5::RunAction(PanelAction action) {
    try {
        RunPanelAction(action, TADir, CurrentMessageBox());
    } catch (const RuntimeError& error) {
        ReportUncaughtError(error);
    }
}

void Form5::FE_MenuClick() {
    EndProgram(0);
}

void Form5::HA_MenuClick() {
    CurrentMessageBox().Show(Message{kCredits});
}

void Form5::closeEvent(QCloseEvent*) {
    EndProgram(0);
}

}  // namespace kelmora
