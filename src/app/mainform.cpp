#include "app/mainform.h"

#include "app/aboutbox.h"
#include "app/iconinfodialog.h"
#include "grid/scrollactions.h"
#include "ui/busy.h"
#include "ui/dialogs.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"
#include "platform/bitmapfile.h"
#include "platform/filenames.h"
#include "platform/folderwriter.h"
#include "platform/printers.h"
#include "platform/printersheet.h"
#include "platform/programfolder.h"
#include "platform/winexec.h"
#include "print/reportform.h"
#include "scan/folderscan.h"
#include "scan/iconextraction.h"
#include "scan/oneicon.h"
#include "settings/inifile.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>

#include <cstdio>

#include <sys/stat.h>

namespace {

// Thrown by the scan's progress when the session ends, to stop the scan where it stands.
struct SessionEnded {};

const QString kSection = QStringLiteral("MainForm");
const QString kFolderPrompt = QStringLiteral("希望のﾌｫﾙﾀﾞｰ名をｸﾘｯｸして、ﾌｫﾙﾀﾞｰｱｲｺﾝをｵｰﾌﾟﾝ状態にし、[OK]を押してください.");

// The folder dialog empties the caller's variable as it opens and fills it on OK.
bool ChooseFolderInto(QWidget* owner, QString& folder)
{
    folder.clear();
    const std::optional<QString> chosen = CurrentDialogs().ChooseFolder(owner, kFolderPrompt);
    if (chosen)
        folder = *chosen;
    return chosen.has_value();
}

QMenu* AddSubmenu(QMenuBar* bar, const QString& name, const QString& caption, const QString& hint)
{
    QMenu* menu = bar->addMenu(caption);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    menu->menuAction()->setStatusTip(hint);
    return menu;
}

QAction* AddItem(QMenu* menu, const QString& name, const QString& caption, const QString& hint, bool enabled)
{
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    item->setStatusTip(hint);
    item->setEnabled(enabled);
    return item;
}

} // namespace

void TPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPalette& colours = palette();
    const QRect outer = rect();
    painter.fillRect(outer, Qt::white);
    // Lowered bevels: shadow along the top and left, highlight along the bottom and right.
    for (const QRect& edge : {outer, outer.adjusted(1, 1, -1, -1)}) {
        painter.setPen(colours.color(QPalette::Dark));
        painter.drawLine(edge.topLeft(), edge.topRight());
        painter.drawLine(edge.topLeft(), edge.bottomLeft());
        painter.setPen(colours.color(QPalette::Light));
        painter.drawLine(edge.bottomLeft(), edge.bottomRight());
        painter.drawLine(edge.topRight(), edge.bottomRight());
    }
}

void TPanel::contextMenuEvent(QContextMenuEvent* event)
{
    // A cell passes a right click on to the panel, at its place there.
    emit contextMenuAt(event->pos(), event->globalPos());
}

void TPanel::resizeEvent(QResizeEvent*)
{
    // The scroll bar is aligned to the right edge inside the bevels, full height.
    if (auto* bar = findChild<QScrollBar*>(QString(), Qt::FindDirectChildrenOnly))
        bar->setGeometry(width() - kBevelWidth - bar->width(), kBevelWidth, bar->width(),
                         std::max(0, height() - 2 * kBevelWidth));
}

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent)
    , Panel1(new TPanel(this))
    , ScrollBar1(new QScrollBar(Qt::Vertical, Panel1))
    , IconGrid(*Panel1, *ScrollBar1, BrowseSession, [this](int cell, QPoint grabbedAt) { DragCell(cell, grabbedAt); })
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Vistrel"));
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    CreateControls();
    CreateMenus();
    // Designed position and client size (the client area lies below the menu bar);
    // the stored geometry replaces them at once.
    setGeometry(192, 107, 775, 494 + menuBar()->sizeHint().height());
    FormCreate();
}

void TMainForm::CreateControls()
{
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    setStatusBar(StatusBar1);

    Panel1->setObjectName(QStringLiteral("Panel1"));
    setCentralWidget(Panel1);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(584, 372, 34, 34);
    Image1->hide();

    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setFixedWidth(16);
    ScrollBar1->setRange(1, 100);
    ScrollBar1->setValue(1);
    ScrollBar1->setSingleStep(5);
    ScrollBar1->setPageStep(5);
    ScrollBar1->hide();
    // Like a Windows scroll bar, it takes the focus when clicked, so the keys page too.
    ScrollBar1->setFocusPolicy(Qt::StrongFocus);
    connect(new ScrollActions(*ScrollBar1, *Panel1), &ScrollActions::scrolled, this, &TMainForm::ScrollBar1Scroll);
}

void TMainForm::CreateMenus()
{
    QMenuBar* bar = menuBar();
    File1 = AddSubmenu(bar, QStringLiteral("File1"), QStringLiteral("ファイル(&F)"), QStringLiteral("ファイル関連メニュー"));
    Open1 = AddItem(File1, QStringLiteral("Open1"), QStringLiteral("開く(&O)..."),
                    QStringLiteral("フォルダー選択ダイアログボックスを表示します。"), true);
    Close1 = AddItem(File1, QStringLiteral("Close1"), QStringLiteral("閉じる(&C)"),
                     QStringLiteral("現在表示されているexe/dllファイルを閉じます。"), false);
    Save1 = AddItem(File1, QStringLiteral("Save1"), QStringLiteral("保存(&S)..."),
                    QStringLiteral("現在、表示されているフォルダー内のexe/dllファイルのアイコンをビットマップ形式で保存します。"),
                    false);
    File1->addSeparator()->setObjectName(QStringLiteral("N2"));
    Print1 = AddItem(File1, QStringLiteral("Print1"), QStringLiteral("印刷(&P)..."),
                     QStringLiteral("現在、表示されているフォルダー内のexe/dllファイルのアイコンを一覧形式で印刷します。"), false);
    PrintSetup1 = AddItem(File1, QStringLiteral("PrintSetup1"), QStringLiteral("プリンタ設定(&R)..."),
                          QStringLiteral("プリンタ設定ダイアログボックスを表示します。"), true);
    File1->addSeparator()->setObjectName(QStringLiteral("N1"));
    Exit1 = AddItem(File1, QStringLiteral("Exit1"), QStringLiteral("終了(&X)"),
                    QStringLiteral("アプリケーションを終了します。"), true);

    Edit = AddSubmenu(bar, QStringLiteral("Edit"), QStringLiteral("編集(&E)"), QStringLiteral("編集関連メニュー"));
    Copy1 = AddItem(Edit, QStringLiteral("Copy1"), QStringLiteral("コピー(&C)"),
                    QStringLiteral("選択されたアイコンをクリップボードにコピーします。"), false);
    Copy1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));

    Show1 = AddSubmenu(bar, QStringLiteral("Show1"), QStringLiteral("表示(&V)"), QStringLiteral("表示関連メニュー"));
    Paint1 = AddItem(Show1, QStringLiteral("Paint1"), QStringLiteral("ペイント(&P)..."),
                     QStringLiteral("ペイントを起動します。"), false);

    Help_Menu = AddSubmenu(bar, QStringLiteral("Help_Menu"), QStringLiteral("ヘルプ(&H)"), QStringLiteral("ヘルプ関連メニュー"));
    About_HelpMenu = AddItem(Help_Menu, QStringLiteral("About_HelpMenu"), QStringLiteral("バージョン情報(&A)..."),
                             QStringLiteral("アプリケーションのバージョン情報ダイアログボックスを表示します。"), true);

    const auto connectGuarded = [this](QAction* item, void (TMainForm::*handler)()) {
        connect(item, &QAction::triggered, this, [this, handler] { RunCommand(handler); });
    };
    connectGuarded(Open1, &TMainForm::Open1Click);
    connectGuarded(Close1, &TMainForm::Close1Click);
    connectGuarded(Save1, &TMainForm::Save1Click);
    connectGuarded(Print1, &TMainForm::Print1Click);
    connectGuarded(PrintSetup1, &TMainForm::PrintSetup1Click);
    // Exit is never refused: like the close button, it closes once a running operation ends.
    connect(Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);
    connectGuarded(Copy1, &TMainForm::Copy1Click);
    connectGuarded(Paint1, &TMainForm::Paint1Click);
    connectGuarded(About_HelpMenu, &TMainForm::About_HelpMenuClick);

    CellMenuKey = new QAction(this);
    CellMenuKey->setObjectName(QStringLiteral("CellMenuKey"));
    CellMenuKey->setShortcuts({QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)});
    addAction(CellMenuKey);
    connect(CellMenuKey, &QAction::triggered, this, [this] {
        if (IsBusy() || !IconGrid.IconOfCell(IconGrid.SelectedCell))
            return;
        RunGuarded(this, [this] {
            const TIconCell* cell = IconGrid.IconCells[IconGrid.SelectedCell];
            ShowCellMenu(cell->mapToGlobal(cell->rect().center()), true);
        });
    });
    connect(Panel1, &TPanel::contextMenuAt, this, &TMainForm::CellContextMenu);
}

void TMainForm::SetReportForm(TReportForm* reportForm)
{
    ReportForm = reportForm;
    if (ReportForm)
        ReportForm->IconReport.Owner = this;
}

void TMainForm::FormCreate()
{
    // The hint display is live from here on (status-tip events reach event()).
    RunGuarded(this, [this] {
        IniFile::WidgetBounds bounds(*this);
        IniFile::LoadFormGeometry(kSection, bounds);
    });
    requestedFrame_ = frameGeometry();
}

void TMainForm::FitToRequestedFrame()
{
    if (!requestedFrame_)
        return;
    const QRect wanted = *requestedFrame_;
    if (size() != wanted.size()) {
        requestedFrame_.reset(); // resized since: the program or the user has decided
        return;
    }
    const QRect frame = frameGeometry();
    if (frame.size() == size())
        return; // no frame around the window yet
    requestedFrame_.reset();
    resize(wanted.size() - (frame.size() - size()));
    move(wanted.topLeft());
}

bool TMainForm::event(QEvent* event)
{
    // Menu entries announce their hints as status tips; they become the current hint.
    if (event->type() == QEvent::StatusTip) {
        SetCurrentHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::Show || event->type() == QEvent::Move || event->type() == QEvent::Resize)
        FitToRequestedFrame();
    return handled;
}

void TMainForm::SetCurrentHint(const QString& hint)
{
    if (hint == currentHint_)
        return;
    currentHint_ = hint;
    DisplayHint();
}

void TMainForm::DisplayHint()
{
    StatusBar1->showMessage(currentHint_);
}

template <typename Operation>
void TMainForm::RunExclusive(Operation&& operation)
{
    ++running_;
    RunGuarded(this, operation);
    --running_;
    if (running_ == 0)
        RunPostponed();
}

void TMainForm::RunCommand(void (TMainForm::*handler)())
{
    if (IsBusy()) {
        QApplication::beep();
        return;
    }
    RunExclusive([this, handler] { (this->*handler)(); });
}

void TMainForm::RunPostponed()
{
    if (sessionEnding_) {
        FinishSession();
    } else if (closePostponed_) {
        closePostponed_ = layoutPostponed_ = false;
        close();
    } else if (layoutPostponed_) {
        layoutPostponed_ = false;
        FormResize();
    }
}

QSize TMainForm::ClientSize() const
{
    return {width(), height() - menuBar()->height()};
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMainForm::FormResize()
{
    if (IconGrid.ShuttingDown || BrowseSession.ImageFileCount == 0)
        return;
    if (IsBusy()) {
        layoutPostponed_ = true;
        return;
    }
    RunExclusive([this] {
        BusyCursor hourglass;
        IconGrid.ApplyGridGeometry(TIconGrid::Variant::AfterResize, ClientSize(), StatusBar1->height());
        IconGrid.FreePage();
        IconGrid.BuildPage(ScrollBar1->value());
        IconGrid.RestoreSelectionFrame();
    });
}

void TMainForm::ScrollBar1Scroll(int code, int position)
{
    // A key that still reaches the hidden bar after Close has no page to show.
    if (code != scEndScroll || BrowseSession.ImageFileCount == 0)
        return;
    if (IsBusy()) {
        layoutPostponed_ = true; // the page follows the bar once the running operation ends
        return;
    }
    RunExclusive([this, position] {
        BusyCursor hourglass;
        IconGrid.FreePage();
        IconGrid.BuildPage(position);
        IconGrid.RestoreSelectionFrame();
    });
}

void TMainForm::SelectCell(int cell)
{
    IconGrid.Select(cell);
}

void TMainForm::CellContextMenu(QPoint pos, QPoint globalPos)
{
    const int k = IconGrid.CellAt(pos);
    if (IsBusy() || !IconGrid.IconOfCell(k))
        return;
    RunGuarded(this, [&] {
        IconGrid.Select(k);
        ShowCellMenu(globalPos);
    });
}

void TMainForm::ShowCellMenu(QPoint globalPos, bool byKey)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("CellMenu"));
    const auto addItem = [this, &menu](const QString& caption, void (TMainForm::*handler)()) {
        connect(menu.addAction(caption), &QAction::triggered, this, [this, handler] { RunCommand(handler); });
    };
    addItem(QStringLiteral("コピー(&C)"), &TMainForm::Copy1Click);
    addItem(QStringLiteral("アイコンの保存(&S)..."), &TMainForm::SaveIconClick);
    addItem(QStringLiteral("アイコンの情報(&I)..."), &TMainForm::IconInfoClick);
    // Opened by a key, it starts on its first item, as a menu of the bar opened by keys
    // does, so a screen reader has an item to read.
    if (byKey)
        connect(&menu, &QMenu::aboutToShow, &menu, [&menu] {
            QMetaObject::invokeMethod(&menu, [&menu] { menu.setActiveAction(menu.actions().constFirst()); },
                                      Qt::QueuedConnection);
        });
    menu.exec(globalPos);
}

void TMainForm::DragCell(int cell, QPoint grabbedAt)
{
    // Not while a scan may be rewriting the temporary bitmaps or a page is being built;
    // and the drag is an operation of its own, so nothing frees its cell until the drop.
    if (IsBusy())
        return;
    RunExclusive([this, cell, grabbedAt] {
        TIconCell* source = IconGrid.IconCells[cell];
        auto* drag = new QDrag(source); // the cell owns it; Qt may also delete it after a drop
        drag->setMimeData(IconDragData(source->Picture(), source->PictureFile()));
        drag->setPixmap(QPixmap::fromImage(source->Picture()));
        drag->setHotSpot(grabbedAt);
        // Copy only: whoever takes it gets a copy, and the temporary bitmap stays.
        drag->exec(Qt::CopyAction);
    });
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // Disabled while the preview is open: a disabled window ignores a request to close,
    // as it does on Windows, instead of closing the program once the preview ends.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    if (IsBusy()) {
        closePostponed_ = true;
        event->ignore();
        return;
    }
    bool closed = false;
    RunExclusive([&] {
        FormClose();
        closed = true;
    });
    // A failed shut-down (the settings can't be written) keeps the window open.
    event->setAccepted(closed);
}

void TMainForm::FormClose()
{
    // A refused write of the settings ends here: the window stays open with its page.
    IniFile::WidgetBounds bounds(*this);
    IniFile::SaveFormGeometry(kSection, bounds);
    IconGrid.FreePage();
    IconGrid.ShuttingDown = true;
    BusyCursor hourglass;
    StatusBar1->showMessage(QStringLiteral("Tempファイルを削除しています。"));
    DeleteTempBitmaps(TempFolder());
}

void TMainForm::EndSession()
{
    if (sessionEnding_)
        return;
    sessionEnding_ = true;
    CloseOtherWindows();
    // A handler may still open a box on its way out: it closes as it comes.
    auto* closer = new QTimer(this);
    connect(closer, &QTimer::timeout, this, &TMainForm::CloseOtherWindows);
    closer->start(50);
    if (!IsBusy())
        FinishSession();
}

void TMainForm::CloseOtherWindows()
{
    while (QWidget* popup = QApplication::activePopupWidget())
        if (!popup->close())
            break;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == this || !window->isVisible())
            continue;
        if (auto* dialog = qobject_cast<QDialog*>(window))
            dialog->reject();
        else
            window->close();
    }
}

void TMainForm::FinishSession()
{
    if (sessionFinished_)
        return;
    sessionFinished_ = true;
    try {
        IniFile::WidgetBounds bounds(*this);
        IniFile::SaveFormGeometry(kSection, bounds);
    } catch (const AppError& error) {
        std::fprintf(stderr, "vistrel: the window's settings were not saved: %s\n", error.message().toLocal8Bit().constData());
    }
    IconGrid.FreePage();
    IconGrid.ShuttingDown = true;
    DeleteTempBitmaps(TempFolder());
    hide();
    QCoreApplication::exit(0);
}

void TMainForm::EnableFolderCommands(bool enabled)
{
    for (QAction* item : {Save1, Print1, Close1, Copy1, Paint1})
        item->setEnabled(enabled);
}

void TMainForm::Open1Click()
{
    BrowseSession.ImageFileCount = 0;
    const bool confirmed = ChooseFolderInto(this, BrowseSession.FolderPath);
    // The dialog shows only folders whose names are UTF-8, so their bytes are exact.
    BrowseSession.FolderBytes = QFile::encodeName(BrowseSession.FolderPath);
    if (confirmed)
        OpenFolderPath();
}

void TMainForm::OpenFolder(const QByteArray& folder)
{
    RunExclusive([this, &folder] {
        struct stat info {};
        const bool exists = ::stat(folder.constData(), &info) == 0;
        if (!exists || !S_ISDIR(info.st_mode)) {
            const QString shown = DisplayName(folder);
            CurrentDialogs().Information(this, exists ? shown + QStringLiteral(" はフォルダーではありません。")
                                                      : shown + QStringLiteral(" フォルダーが見つかりません。"));
            return;
        }
        BrowseSession.ImageFileCount = 0;
        SetFolder(BrowseSession, folder);
        OpenFolderPath();
    });
}

void TMainForm::OpenFolderPath()
{
    BrowseState& session = BrowseSession;
    ScrollBar1->setEnabled(true);
    BusyCursor hourglass;

    // The scan's progress: the folder in the title once it has files, and a count of
    // them in the status bar, which goes when the scan ends, also when an error ends it.
    struct OpenProgress final : ScanProgress {
        explicit OpenProgress(TMainForm& form) : form_(form) {}
        ~OpenProgress() override { form_.StatusBar1->showMessage(QString()); }
        void Listed(int, bool) override
        {
            if (form_.SessionEnding())
                throw SessionEnded();
            form_.setWindowTitle(QStringLiteral("Vistrel ..... ") + form_.BrowseSession.FolderPath);
        }
        void Reading(int k, int count) override
        {
            if (form_.SessionEnding())
                throw SessionEnded();
            form_.StatusBar1->showMessage(QStringLiteral("exe/dllファイルを解析しています。 %1/%2").arg(k).arg(count));
        }
        TMainForm& form_;
    };
    ScanOutcome outcome;
    try {
        OpenProgress progress(*this);
        outcome = ScanFolder(session, progress);
    } catch (const SessionEnded&) {
        return;
    }
    if (outcome.Result == ScanResult::NoImageFiles) {
        CurrentDialogs().Information(this, NoImageFilesMessage(session.FolderPath));
        return;
    }
    if (outcome.Result == ScanResult::NoIcons) {
        CurrentDialogs().Information(this, NoIconsMessage());
        return;
    }

    IconGrid.ApplyGridGeometry(TIconGrid::Variant::AfterScan, ClientSize(), StatusBar1->height());
    IconGrid.FreePage();
    IconGrid.BuildPage(ScrollBar1->value());
    EnableFolderCommands(true);
    // A click while the page was being built may have shown a frame; after Open none shows.
    IconGrid.HideSelectionFrame();
    IconGrid.SelectedCell = 0;
    IconGrid.AnnounceCurrent();

    if (outcome.FilesLeftOut)
        CurrentDialogs().Information(this, FilesLeftOutMessage());
    else if (outcome.IconsLeftOut)
        CurrentDialogs().Information(this, IconsLeftOutMessage());
}

void TMainForm::Close1Click()
{
    IconGrid.FreePage();
    ScrollBar1->hide();
    // Qt leaves the focus on a hidden bar when nothing else takes it.
    ScrollBar1->clearFocus();
    setWindowTitle(QStringLiteral("Vistrel"));
    EnableFolderCommands(false);
    IconGrid.ShuttingDown = false;
    IconGrid.SelectedCell = 0;
    IconGrid.LastCellIndex = -1;
    BrowseSession.ImageFileCount = 0; // no re-layout until the next Open
}

void TMainForm::Save1Click()
{
    BrowseState& session = BrowseSession;
    if (!ChooseFolderInto(this, session.SaveFolderPath))
        return;
    BusyCursor hourglass;
    // A target that can't be written is passed over without a word, and so is a failed
    // sync: the copies already made are as good as the file system keeps them.
    FolderWriter folder(QFile::encodeName(session.SaveFolderPath), FolderWriter::Targets::UserFiles);
    for (int k = 1; k <= session.IconCount; ++k)
        folder.Copy(QFile::encodeName(NumberedBitmapPath(QStringLiteral("Icon"), k)),
                    QFile::encodeName(session.TempBitmaps[k]));
    folder.Sync();
}

void TMainForm::Print1Click()
{
    if (!ReportForm)
        return;
    // The window takes no input while the preview is open, and gets it back however
    // the preview ends, by closing, a cancelled run or an error: the keys too, also
    // where no window manager hands them back.
    setEnabled(false);
    const auto enableAgain = qScopeGuard([this] {
        setEnabled(true);
        if (isVisible())
            activateWindow();
    });
    ReportForm->IconReport.Preview();
}

void TMainForm::PrintSetup1Click()
{
    // Asked anew each time: the default printer may have changed since.
    const std::optional<PrinterProperties> printer = OpenPrinter(IniFile::ReadDefaultPrinterName());
    if (!printer) {
        CurrentDialogs().Plain(this, QStringLiteral("通常使うプリンタが設定されていません。"));
        return;
    }
    // The settings belong to the printer: what the user confirms becomes the user's own
    // defaults for it in CUPS, which this sheet and every program printing there take up.
    TPrinterSheet sheet(*printer, this);
    CurrentDialogs().ShowModal(&sheet);
    if (sheet.result() == QDialog::Accepted)
        SaveUserDefaults(printer->name, sheet.Changes());
}

const IconOrigin* TMainForm::SelectedOrigin() const
{
    const int icon = IconGrid.IconOfCell(IconGrid.SelectedCell);
    return icon ? &BrowseSession.IconOrigins[static_cast<std::size_t>(icon)] : nullptr;
}

void TMainForm::SaveIconFile(QWidget* owner, const QString& caption, const QString& suggestedName,
                             const QStringList& filters, const std::function<QByteArray(int filter)>& bytesFor)
{
    const QString folder = iconSaveFolder_.isEmpty() ? QDir::homePath() : iconSaveFolder_;
    const std::optional<SaveTarget> target = ChooseSaveTarget(owner, caption, folder + QLatin1Char('/') + suggestedName, filters);
    if (!target)
        return;
    iconSaveFolder_ = QFileInfo(target->path).absolutePath();
    const QByteArray bytes = bytesFor(target->filter);
    if (bytes.isEmpty())
        throw AppError(QStringLiteral("アイコンを読めません"));
    if (!ReplaceFileWith(target->path, bytes))
        throw AppError(QStringLiteral("ファイル %1 を作成できません").arg(target->path));
}

void TMainForm::SaveIconClick()
{
    const IconOrigin* origin = SelectedOrigin();
    if (!origin)
        return;
    SaveIconFile(this, QStringLiteral("アイコンの保存"), SuggestedIconName(*origin, QStringLiteral("ico")),
                 {QStringLiteral("アイコン ファイル (*.ico)"), QStringLiteral("PNG 画像 (*.png)")},
                 [origin = *origin](int filter) { return IconFileFor(origin, filter == 1 ? IconFormat::Png : IconFormat::Ico); });
}

void TMainForm::IconInfoClick()
{
    const IconOrigin* selected = SelectedOrigin();
    if (!selected)
        return;
    const IconOrigin origin = *selected;
    std::vector<IconImageDetails> images = IconImagesOf(origin);
    if (images.empty())
        throw AppError(QStringLiteral("アイコンを読めません"));
    TIconInfoDialog dialog(origin, images, this);
    dialog.SetSaveImage([this, &dialog, &origin, &images](int image) {
        RunGuarded(&dialog, [&] {
            const IconImageDetails& details = images.at(static_cast<std::size_t>(image));
            // Two images of one size differ in their depth.
            const QString name = QFileInfo(SuggestedIconName(origin, QStringLiteral("png"))).completeBaseName()
                + QStringLiteral("_%1x%2_%3bit.png").arg(details.Width).arg(details.Height).arg(details.BitCount);
            SaveIconFile(&dialog, QStringLiteral("画像の保存"), name, {QStringLiteral("PNG 画像 (*.png)")},
                         [&](int) { return IconImagePng(origin, image); });
        });
    });
    CurrentDialogs().ShowModal(&dialog);
}

void TMainForm::Copy1Click()
{
    if (const QImage* picture = IconGrid.SelectedPicture())
        QGuiApplication::clipboard()->setImage(*picture);
}

void TMainForm::Paint1Click()
{
    const QImage* picture = IconGrid.SelectedPicture();
    if (!picture)
        return;
    // Number 0 is never an icon's, so the hand-off file never replaces one of them.
    const QString handOff = TempBitmapPath(0);
    FolderWriter scratch(QFile::encodeName(TempFolder()), FolderWriter::Targets::Scratch);
    if (scratch.Write(QFile::encodeName(QFileInfo(handOff).fileName()), EncodeBmp(*picture)) != FolderWriter::Result::Written)
        throw WriteError(handOff);
    // The paint program's path goes in unquoted, as it stands in the settings.
    WinExec(IniFile::ReadPaintPath(kSection) + QStringLiteral(" \"") + handOff + QStringLiteral("\""));
}

void TMainForm::Exit1Click()
{
    close();
}

void TMainForm::About_HelpMenuClick()
{
    if (AboutBox)
        CurrentDialogs().ShowModal(AboutBox);
}
