#include "report/preview.h"

#include "ui/busy.h"
#include "ui/dialogs.h"
#include "report/pagefile.h"
#include "report/printing.h"
#include "report/report.h"
#include "report/run.h"
#include "report/units.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QWindow>
#include <QToolButton>

#include <cmath>

// The page on a grey desk, at the window's zoom.
class TPageView : public QWidget {
public:
    static constexpr int kGap = 12;

    TPageView(const ReportPages& pages, QWidget* parent) : QWidget(parent), pages_(pages)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void Show(int index, double scale)
    {
        index_ = index;
        scale_ = scale;
        const QSizeF paper = pages_.paperSize * scale_;
        resize(int(std::ceil(paper.width())) + 2 * kGap, int(std::ceil(paper.height())) + 2 * kGap);
        update();
    }

    QRectF PageRect() const
    {
        const QSizeF paper = pages_.paperSize * scale_;
        return {QPointF(kGap, kGap), paper};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(128, 128, 128));
        if (index_ < 0 || index_ >= int(pages_.pages.size()))
            return;
        const QRectF page = PageRect();
        painter.fillRect(page.translated(3, 3), QColor(64, 64, 64));
        DrawPage(painter, pages_.pages[std::size_t(index_)], pages_.paperSize, page);
    }

private:
    const ReportPages& pages_;
    int index_ = -1;
    double scale_ = 0.3;
};

namespace {
// Small tool-bar pictures drawn here, so the engine needs no image files.
enum class Glyph { Fit, Actual, Width, First, Previous, Next, Last, PrintSetup, Print, Save, Load };

QIcon MakeIcon(Glyph glyph)
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 40, 40);
    p.setPen(QPen(ink, 1.5));
    const auto sheet = [&p](QRectF r) {
        p.setBrush(Qt::white);
        p.drawRect(r);
    };
    const auto triangle = [&p, &ink](bool left, double x) {
        QPainterPath path;
        if (left) {
            path.moveTo(x + 7, 6);
            path.lineTo(x, 12);
            path.lineTo(x + 7, 18);
        } else {
            path.moveTo(x, 6);
            path.lineTo(x + 7, 12);
            path.lineTo(x, 18);
        }
        path.closeSubpath();
        p.fillPath(path, ink);
    };
    const auto printer = [&p, &sheet, &ink] {
        sheet(QRectF(7, 3, 10, 7));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(3, 9, 18, 8));
        sheet(QRectF(7, 14, 10, 7));
        p.fillRect(QRectF(17, 11, 2, 2), ink);
    };
    switch (glyph) {
    case Glyph::Fit:
        sheet(QRectF(6, 2, 12, 20));
        p.drawLine(QPointF(9, 7), QPointF(15, 7));
        p.drawLine(QPointF(9, 11), QPointF(15, 11));
        p.drawLine(QPointF(9, 15), QPointF(15, 15));
        break;
    case Glyph::Actual: {
        QFont font = p.font();
        font.setPixelSize(11);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRectF(0, 0, 24, 24), Qt::AlignCenter, QStringLiteral("1:1"));
        break;
    }
    case Glyph::Width:
        sheet(QRectF(2, 5, 20, 14));
        p.drawLine(QPointF(5, 12), QPointF(19, 12));
        triangle(true, 4.5);
        triangle(false, 12.5);
        break;
    case Glyph::First:
        p.fillRect(QRectF(5, 6, 2, 12), ink);
        triangle(true, 9);
        break;
    case Glyph::Previous:
        triangle(true, 8);
        break;
    case Glyph::Next:
        triangle(false, 9);
        break;
    case Glyph::Last:
        triangle(false, 8);
        p.fillRect(QRectF(17, 6, 2, 12), ink);
        break;
    case Glyph::PrintSetup:
        printer();
        p.setBrush(QColor(255, 200, 0));
        p.drawEllipse(QRectF(14, 13, 8, 8));
        break;
    case Glyph::Print:
        printer();
        break;
    case Glyph::Save:
        p.setBrush(QColor(70, 110, 190));
        p.drawRect(QRectF(3, 3, 18, 18));
        sheet(QRectF(7, 3, 10, 7));
        p.fillRect(QRectF(7, 14, 10, 7), Qt::white);
        break;
    case Glyph::Load:
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(2, 7, 20, 13));
        p.drawRect(QRectF(2, 4, 8, 3));
        break;
    }
    return QIcon(pixmap);
}
} // namespace

TPreviewForm::TPreviewForm(TReport& report, QWidget* parent) : QMainWindow(parent), report_(report)
{
    setObjectName(QStringLiteral("PreviewForm"));
    setWindowTitle(report.Title.isEmpty() ? QStringLiteral("プレビュー") : report.Title);
    pages_.paperSize = QSizeF(report.Page.pageWidth, report.Page.pageLength);

    auto* bar = addToolBar(QStringLiteral("ツール バー"));
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setAccessibleName(bar->windowTitle());
    // The bar is the preview's only way to zoom, page, print and close: nothing may hide
    // or undock it, and Qt's English menu that would is never shown.
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->toggleViewAction()->setVisible(false);
    bar->setIconSize(QSize(24, 24));

    zoomGroup_ = new QActionGroup(this);
    zoomGroup_->setExclusive(true);
    zoomFit_ = AddAction(QStringLiteral("ZoomFit"), QStringLiteral("ページ全体を表示"), MakeIcon(Glyph::Fit));
    zoom100_ = AddAction(QStringLiteral("Zoom100"), QStringLiteral("100%"), MakeIcon(Glyph::Actual));
    zoomToWidth_ = AddAction(QStringLiteral("ZoomToWidth"), QStringLiteral("幅を基準に表示"), MakeIcon(Glyph::Width));
    for (QAction* action : {zoomFit_, zoom100_, zoomToWidth_}) {
        action->setCheckable(true);
        zoomGroup_->addAction(action);
        bar->addAction(action);
    }
    zoomToWidth_->setChecked(true);
    // Every button's handler runs guarded, so an error reaches the user as the error box.
    const auto guarded = [this](QAction* action, auto handler) {
        connect(action, &QAction::triggered, this, [this, handler] { RunGuarded(this, handler); });
    };
    guarded(zoomFit_, [this] { SetZoom(zmFit); });
    guarded(zoom100_, [this] { SetZoom(zm100); });
    guarded(zoomToWidth_, [this] { SetZoom(zmWidth); });
    bar->addSeparator();

    firstPage_ = AddAction(QStringLiteral("FirstPage"), QStringLiteral("最初のページ"), MakeIcon(Glyph::First));
    previousPage_ = AddAction(QStringLiteral("PreviousPage"), QStringLiteral("前のページ"), MakeIcon(Glyph::Previous));
    nextPage_ = AddAction(QStringLiteral("NextPage"), QStringLiteral("次のページ"), MakeIcon(Glyph::Next));
    lastPage_ = AddAction(QStringLiteral("LastPage"), QStringLiteral("最後のページ"), MakeIcon(Glyph::Last));
    for (QAction* action : {firstPage_, previousPage_, nextPage_, lastPage_})
        bar->addAction(action);
    guarded(firstPage_, [this] { ShowPage(1); });
    guarded(previousPage_, [this] { ShowPage(current_ - 1); });
    guarded(nextPage_, [this] { ShowPage(current_ + 1); });
    guarded(lastPage_, [this] { ShowPage(PageCount()); });
    bar->addSeparator();

    printSetup_ = AddAction(QStringLiteral("PrintSetup"), QStringLiteral("プリンタの設定"), MakeIcon(Glyph::PrintSetup));
    print_ = AddAction(QStringLiteral("Print"), QStringLiteral("印刷"), MakeIcon(Glyph::Print));
    saveReport_ = AddAction(QStringLiteral("SaveReport"), QStringLiteral("レポートの保存"), MakeIcon(Glyph::Save));
    loadReport_ = AddAction(QStringLiteral("LoadReport"), QStringLiteral("レポート読み込み"), MakeIcon(Glyph::Load));
    for (QAction* action : {printSetup_, print_, saveReport_, loadReport_})
        bar->addAction(action);
    guarded(printSetup_, [this] { PrintSetupClick(); });
    guarded(print_, [this] { PrintClick(); });
    guarded(saveReport_, [this] { SaveReportClick(); });
    guarded(loadReport_, [this] { LoadReportClick(); });
    bar->addSeparator();

    exit_ = new QAction(QStringLiteral("閉じる(&C)"), this);
    exit_->setObjectName(QStringLiteral("ExitButton"));
    exit_->setToolTip(QStringLiteral("閉じる"));
    // A tool button drops the '&' of an action's text, and with it Alt+C; the icon text,
    // set in full, keeps it: the button underlines C and Alt+C presses it.
    exit_->setIconText(exit_->text());
    bar->addAction(exit_);
    if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(exit_)))
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(exit_, &QAction::triggered, this, &QWidget::close);
    // Tool buttons take no focus in Qt: Tab reaches them here, Space presses them, and
    // Enter too (eventFilter).
    for (QAction* action : bar->actions())
        if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action))) {
            button->setFocusPolicy(Qt::TabFocus);
            button->installEventFilter(this);
        }

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("PageView"));
    scroll_->setAccessibleName(QStringLiteral("ページ表示"));
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll_->setBackgroundRole(QPalette::Dark);
    view_ = new TPageView(pages_, scroll_);
    scroll_->setWidget(view_);
    scroll_->setWidgetResizable(false);
    scroll_->installEventFilter(this);
    scroll_->viewport()->installEventFilter(this);
    setCentralWidget(scroll_);
    scroll_->setFocus();

    zoomPanel_ = new QLabel(this);
    pagePanel_ = new QLabel(this);
    pagePanel_->setObjectName(QStringLiteral("PagePanel"));
    zoomPanel_->setMinimumWidth(120);
    statusBar()->addWidget(zoomPanel_);
    statusBar()->addWidget(pagePanel_, 1);

    UpdateState();
}

TPreviewForm::~TPreviewForm() = default;

QAction* TPreviewForm::AddAction(const QString& name, const QString& hint, const QIcon& icon)
{
    auto* action = new QAction(icon, hint, this);
    action->setObjectName(name);
    action->setToolTip(hint);
    return action;
}

bool TPreviewForm::RunReport()
{
    pages_ = ReportPages();
    pagesFromFile_ = false;
    pages_.paperSize = QSizeF(report_.Page.pageWidth, report_.Page.pageLength);
    current_ = 0;
    ReportRun run(report_);
    run_ = &run;
    UpdateState();
    PageStoreSink sink(pages_);
    sink.onPage = [this](int count) {
        // Pages can be read while the rest are still being made.
        if (count == 1)
            ShowPage(1);
        else
            UpdateState();
    };
    run.Execute(sink);
    run_ = nullptr;
    const bool cancelled = run.Cancelled() || closed_;
    UpdateState();
    if (!cancelled)
        emit RunFinished();
    return !cancelled;
}

double TPreviewForm::Scale() const
{
    const QSizeF paper = pages_.paperSize;
    const QSize room = scroll_->viewport()->size() - QSize(2 * TPageView::kGap, 2 * TPageView::kGap);
    const double toWidth = std::max(room.width(), 1) / paper.width();
    switch (zoom_) {
    case zm100:
        return logicalDpiX() / units::kTenthsPerInch;
    case zmFit:
        return std::min(toWidth, std::max(room.height(), 1) / paper.height());
    case zmWidth:
        break;
    }
    return toWidth;
}

void TPreviewForm::SetZoom(ZoomMode mode)
{
    zoom_ = mode;
    QAction* checked = mode == zmFit ? zoomFit_ : mode == zm100 ? zoom100_ : zoomToWidth_;
    checked->setChecked(true);
    UpdateView();
}

void TPreviewForm::ShowPage(int page)
{
    const int count = PageCount();
    const int shown = count == 0 ? 0 : std::clamp(page, 1, count);
    const bool changed = shown != current_;
    current_ = shown;
    UpdateView();
    if (changed) {
        scroll_->verticalScrollBar()->setValue(0);
        emit PageShown(current_);
    }
}

void TPreviewForm::UpdateView()
{
    // When the page grows taller than the window the scroll bar narrows the viewport,
    // whose resize brings us back here for the final width.
    view_->Show(current_ - 1, Scale());
    UpdateState();
}

QString TPreviewForm::StatusText() const
{
    return QStringLiteral("ページ: %1 / %2").arg(current_).arg(PageCount());
}

void TPreviewForm::UpdateState()
{
    const bool running = Running() || printing_;
    const int count = PageCount();
    firstPage_->setEnabled(current_ > 1);
    previousPage_->setEnabled(current_ > 1);
    nextPage_->setEnabled(current_ < count);
    lastPage_->setEnabled(current_ < count);
    printSetup_->setEnabled(!running);
    print_->setEnabled(!running);
    // Half-made pages are neither saved nor replaced.
    saveReport_->setEnabled(!running && count > 0);
    loadReport_->setEnabled(!running);
    zoomPanel_->setText(QStringLiteral("%1%").arg(std::lround(Scale() * units::kTenthsPerInch / logicalDpiX() * 100)));
    pagePanel_->setText(StatusText());
}

void TPreviewForm::closeEvent(QCloseEvent* event)
{
    closed_ = true;
    if (run_)
        run_->Cancel();
    event->accept();
    emit Closed();
}

bool TPreviewForm::HandleKey(QKeyEvent* event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_PageUp:
        ShowPage(ctrl ? 1 : current_ - 1);
        return true;
    case Qt::Key_PageDown:
        ShowPage(ctrl ? PageCount() : current_ + 1);
        return true;
    case Qt::Key_Home:
        ShowPage(1);
        return true;
    case Qt::Key_End:
        ShowPage(PageCount());
        return true;
    default:
        return false;
    }
}

void TPreviewForm::keyPressEvent(QKeyEvent* event)
{
    if (!HandleKey(event))
        QMainWindow::keyPressEvent(event);
}

bool TPreviewForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (auto* button = qobject_cast<QToolButton*>(watched);
            button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            button->click();
            return true;
        }
        // The scroll area would take the paging keys for itself.
        if (HandleKey(key))
            return true;
    }
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize)
        UpdateView();
    return QMainWindow::eventFilter(watched, event);
}

void TPreviewForm::PrintSetupClick()
{
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(report_, printer);
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, PageCount() > 0);
    dialog.setMinMax(1, std::max(PageCount(), 1));
    if (!CurrentDialogs().ExecPrintDialog(dialog))
        return;
    TakeOverPrinter(report_, printer);
}

void TPreviewForm::PrintClick()
{
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(report_, printer);
    if (!PrinterUsable(printer)) {
        CurrentDialogs().Information(this, QStringLiteral("使用できるプリンタがありません。"));
        return;
    }
    // Without the modal progress window nothing else stops a second click meanwhile.
    printing_ = true;
    UpdateState();
    // Pages loaded from a file are the ones on screen: those print, not a new run.
    const PrintOutcome outcome =
        pagesFromFile_ ? PrintPagesOn(pages_, report_, printer) : PrintReportOn(report_, printer, PageCount());
    printing_ = false;
    UpdateState();
    if (!outcome.printed && !outcome.cancelled && outcome.sheets > 0)
        CurrentDialogs().Error(this, QStringLiteral("印刷できませんでした。"));
}

void TPreviewForm::SaveReportClick()
{
    const QStringList filters{QString::fromUtf8(pagefile::kFilter), QString::fromUtf8(pagefile::kPdfFilter)};
    const std::optional<SaveTarget> target = ChooseSaveTarget(this, QStringLiteral("レポートの保存"), QString(), filters);
    if (!target)
        return;
    BusyCursor busy;
    QString error;
    const bool saved = target->filter == 1 ? pagefile::SaveAsPdf(pages_, target->path, DocumentName(report_), &error)
                                           : pagefile::Save(pages_, target->path, &error);
    if (!saved)
        CurrentDialogs().Error(this, error);
}

void TPreviewForm::LoadReportClick()
{
    const QString path = CurrentDialogs().OpenFileName(this, QStringLiteral("レポート読み込み"),
                                                        QString::fromUtf8(pagefile::kFilter));
    if (path.isEmpty())
        return;
    QString error;
    std::optional<ReportPages> loaded;
    {
        BusyCursor busy;
        loaded = pagefile::Load(path, &error);
    }
    if (!loaded) {
        CurrentDialogs().Error(this, QStringLiteral("レポートを読み込めませんでした。\n") + error);
        return;
    }
    pages_ = std::move(*loaded);
    pagesFromFile_ = true;
    current_ = 0;
    ShowPage(1);
}

class PreviewShowingGuard {
public:
    explicit PreviewShowingGuard(TReport& report) : report_(report) { report_.previewShowing_ = true; }
    ~PreviewShowingGuard() { report_.previewShowing_ = false; }
    PreviewShowingGuard(const PreviewShowingGuard&) = delete;
    PreviewShowingGuard& operator=(const PreviewShowingGuard&) = delete;

private:
    TReport& report_;
};

void TReport::Preview()
{
    ProcessMessages();
    if (previewShowing_)
        return;
    PreviewShowingGuard showing(*this);
    auto form = std::make_unique<TPreviewForm>(*this);
    // Where no window manager honours the request to maximise (a bare X server), the
    // window takes the screen's available area by itself.
    const QWidget* owner = Owner ? Owner.data() : QApplication::activeWindow();
    if (QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        form->setGeometry(screen->availableGeometry());
    // It belongs to the window that asked for it, so a window manager keeps it above that
    // one, which is disabled meanwhile. X11 names a window's owner only for dialogs, so it
    // is one, with a normal window's buttons.
    if (owner && owner->windowHandle()) {
        form->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                             | Qt::WindowCloseButtonHint);
        form->winId();
        form->windowHandle()->setTransientParent(owner->windowHandle());
    }
    form->showMaximized();
    // It takes the keys (Esc, Alt+C) at once, also where no window manager hands them over.
    form->activateWindow();
    CurrentDialogs().WindowShown(*form);
    if (!form->RunReport())
        return;
    if (!form->isVisible() || QCoreApplication::closingDown())
        return;
    QEventLoop loop;
    QObject::connect(form.get(), &TPreviewForm::Closed, &loop, &QEventLoop::quit);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    loop.exec();
}
