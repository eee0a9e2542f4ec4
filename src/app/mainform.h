// The main window: menu bar, white grid panel with its scroll bar, status bar, and the
// handlers of the menu commands.
#pragma once

#include "scan/browsesession.h"

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;
class QScrollBar;
class QStatusBar;
class TAboutBox;

// The white panel that fills the client area, with a lowered inner and outer bevel.
class TPanel : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    static constexpr int kBevelWidth = 2; // outer and inner bevel, 1 pixel each

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    void SetAboutBox(TAboutBox* aboutBox) { AboutBox = aboutBox; }

    // The application's current hint; each change calls DisplayHint.
    const QString& CurrentHint() const { return currentHint_; }
    void SetCurrentHint(const QString& hint);

    // The controls, named as in the window's design.
    QStatusBar* StatusBar1 = nullptr;
    TPanel* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QScrollBar* ScrollBar1 = nullptr;

    QMenu* File1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* Close1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* Print1 = nullptr;
    QAction* PrintSetup1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Edit = nullptr;
    QAction* Copy1 = nullptr;
    QMenu* Show1 = nullptr;
    QAction* Paint1 = nullptr;
    QMenu* Help_Menu = nullptr;
    QAction* About_HelpMenu = nullptr;

    BrowseState BrowseSession;

public slots:
    void DisplayHint();
    void Open1Click();
    void Close1Click();
    void Save1Click();
    void Print1Click();
    void PrintSetup1Click();
    void Exit1Click();
    void Copy1Click();
    void Paint1Click();
    void About_HelpMenuClick();

protected:
    bool event(QEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    void FormCreate();

    TAboutBox* AboutBox = nullptr;
    QString currentHint_;
};
