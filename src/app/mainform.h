// The main window: menu bar, white grid panel with its scroll bar, status bar, and the
// handlers of the menu commands.
#pragma once

#include "grid/icongrid.h"
#include "scan/browsesession.h"

#include <QMainWindow>

#include <functional>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QScrollBar;
class QStatusBar;
class TAboutBox;
class TReportForm;

// The white panel that fills the client area, with a lowered inner and outer bevel.
class TPanel : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    static constexpr int kBevelWidth = 2; // outer and inner bevel, 1 pixel each

signals:
    // A right click on the panel or one of its cells, at pos in the panel.
    void contextMenuAt(QPoint pos, QPoint globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    void SetAboutBox(TAboutBox* aboutBox) { AboutBox = aboutBox; }
    // The icon list's preview then belongs to this window.
    void SetReportForm(TReportForm* reportForm);

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
    // A cell's own menu; the Menu key and Shift+F10 open it for the selected cell.
    QAction* CellMenuKey = nullptr;

    BrowseState BrowseSession;
    TIconGrid IconGrid;

    // The client area as the grid sees it: everything below the menu bar.
    QSize ClientSize() const;
    // True while a command, a page build or a re-layout is running (they let pending
    // messages run, so other events can arrive in the middle of them).
    bool IsBusy() const { return running_ > 0; }

    // Opens folder (as the kernel takes it) as Open does once the folder dialog has
    // confirmed it; a path that is no folder gets a message instead. The folder named on
    // the command line comes here.
    void OpenFolder(const QByteArray& folder);

    // The session ends from outside (a signal): every dialog, menu and the preview close,
    // a running scan stops, and once the running operation has ended the settings are
    // saved (a failure is told on stderr and passed over), the bitmaps deleted and the
    // event loop ended with status 0.
    void EndSession();
    bool SessionEnding() const { return sessionEnding_; }

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
    // The selected icon's file with every image (.ico) or its largest image (.png),
    // where the save dialog says.
    void SaveIconClick();
    // The selected icon's source and images, in アイコンの情報.
    void IconInfoClick();
    void SelectCell(int cell);
    // Selects the cell at pos in the panel as a click does and shows its menu at
    // globalPos; a blank cell shows none.
    void CellContextMenu(QPoint pos, QPoint globalPos);
    // Drags the picture and the bitmap file of a cell out, to be copied wherever it is dropped.
    void DragCell(int cell, QPoint grabbedAt);
    void FormResize();
    // code: the Windows scroll code; the page is rebuilt when an action ends (code 8).
    void ScrollBar1Scroll(int code, int position);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    void FormCreate();
    void FormClose();
    void FitToRequestedFrame();
    // Open after the folder dialog: scans BrowseSession's folder and shows its first page.
    void OpenFolderPath();
    // Save, Print, Close, Copy and Paint, in that order: on while a folder is shown.
    void EnableFolderCommands(bool enabled);
    // Where the selected cell's icon came from, or nullptr for none.
    const IconOrigin* SelectedOrigin() const;
    // Copy, save and information for the selected cell, at globalPos; byKey when a key
    // opened it.
    void ShowCellMenu(QPoint globalPos, bool byKey = false);
    // Asks where to save through the save dialog (caption) over owner, offering the folder
    // last used, and writes bytesFor(the index of the chosen format in filters) there
    // whole. An AppError when it can't be read or written; what was there stays.
    void SaveIconFile(QWidget* owner, const QString& caption, const QString& suggestedName,
                      const QStringList& filters, const std::function<QByteArray(int filter)>& bytesFor);

    // Runs one operation that may let pending messages run. Menu commands that arrive
    // meanwhile are refused; a resize or the window's closing is postponed and carried
    // out once the operation has ended. This is the one place that decides re-entry.
    template <typename Operation>
    void RunExclusive(Operation&& operation);
    // A menu command: refused while another operation runs, errors in the standard box.
    void RunCommand(void (TMainForm::*handler)());
    void RunPostponed();
    // Closes the windows and menus other than this one, cancelling what they ask.
    void CloseOtherWindows();
    void FinishSession();

    TAboutBox* AboutBox = nullptr;
    TReportForm* ReportForm = nullptr;
    QString currentHint_;
    // The outer frame the settings asked for; a window manager's frame is known only once
    // the window is shown, and then the window is fitted to it once.
    std::optional<QRect> requestedFrame_;
    // The folder an icon was last saved to, offered again while the program runs.
    QString iconSaveFolder_;
    int running_ = 0;
    bool layoutPostponed_ = false;
    bool closePostponed_ = false;
    bool sessionEnding_ = false;
    bool sessionFinished_ = false;
};
