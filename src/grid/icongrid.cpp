#include "grid/icongrid.h"

#include "grid/gridaccessible.h"
#include "grid/gridkeys.h"
#include "grid/sharpicon.h"
#include "platform/filenames.h"
#include "ui/busy.h"

#include <QScreen>
#include <QScrollBar>
#include <QWindow>

#include <algorithm>
#include <utility>
#include <vector>

namespace {
ScrollBarSettings SettingsOf(const QScrollBar& bar)
{
    return {bar.maximum(), bar.value(), bar.singleStep(), bar.pageStep(), !bar.isHidden()};
}

// In this order: the range (which pulls the position into it), the steps, the position,
// and last the visibility.
void Apply(QScrollBar& bar, const ScrollBarSettings& settings)
{
    bar.setMaximum(settings.maximum);
    bar.setPageStep(settings.pageStep);
    bar.setSingleStep(settings.singleStep);
    bar.setValue(settings.position);
    bar.setVisible(settings.visible);
}
} // namespace

QString IconToolTip(const IconOrigin& icon, const QString& openedFolder)
{
    // A name's newline would draw a line of its own, and a right-to-left override turn
    // its end around.
    QString text = QStringLiteral("ファイル: ") + WithoutControls(icon.FileName);
    if (icon.Folder != openedFolder)
        text += QStringLiteral("\nフォルダー: ") + WithoutControls(icon.Folder);
    if (!icon.IconsFrom.isEmpty())
        text += QStringLiteral("\nアイコンの取得元: ") + WithoutControls(DisplayName(icon.IconsFrom));
    return text + QStringLiteral("\nインデックス: %1 (全 %2 個中)").arg(icon.Index).arg(icon.Count);
}

TIconGrid::TIconGrid(QWidget& panel, QScrollBar& scrollBar, const BrowseState& session,
                     std::function<void(int, QPoint)> dragCell)
    : panel_(panel)
    , scrollBar_(scrollBar)
    , session_(session)
    , dragCell_(std::move(dragCell))
{
    InstallGridAccessibility();
    scrollBar.setAccessibleName(QStringLiteral("ページ"));
    // By Tab and by a click: the arrow keys move on from the icon just clicked, while
    // Page Up and Page Down still page through the bar.
    panel.setFocusPolicy(Qt::StrongFocus);
    keys_ = new GridKeys(*this, panel, scrollBar);
}

TIconGrid::~TIconGrid()
{
    // The panel outlives the grid, and its events would reach the keys still.
    delete keys_.data();
}

void TIconGrid::ApplyGridGeometry(Variant variant, QSize client, int statusBarHeight)
{
    const GridShape shape = ComputeGridShape(client, scrollBar_.width(), statusBarHeight);
    GridColumns = shape.columns;
    GridRows = shape.rows;
    const ScrollBarSettings now = SettingsOf(scrollBar_);
    Apply(scrollBar_, variant == Variant::AfterScan ? ScrollAfterScan(now, PageCells(), session_.IconCount)
                                                    : ScrollAfterResize(now, PageCells(), session_.IconCount));
}

void TIconGrid::BuildPage(int firstIcon)
{
    // Disabling the bar makes Qt pass its keyboard focus on, and enabling it again does
    // not bring the focus back; the keys would stop paging after the first rebuild.
    const bool barHadFocus = scrollBar_.hasFocus();
    scrollBar_.setEnabled(false);
    const QWidget* focusAfterDisabling = scrollBar_.window()->focusWidget();
    LastCellIndex = -1;
    firstIcon_ = firstIcon;
    building_ = true;
    WatchWindowScreen();
    const int cells = CellsOnPage(PageCells(), session_.IconCount, firstIcon);
    for (int k = 0; k < cells; ++k) {
        LastCellIndex = k;
        auto* frame = new TSelectionFrame(&panel_);
        frame->PlaceAround(CellFrameRect(k, GridColumns));
        frame->hide();
        SelectionFrames[k] = frame;
        if (keys_)
            keys_->WatchFrame(*frame);

        auto* cell = new TIconCell(&panel_);
        cell->hide();
        cell->setGeometry(CellImageRect(k, GridColumns));
        IconCells[k] = cell;
        QObject::connect(cell, &TIconCell::clicked, cell, [this, k] { Select(k); });
        QObject::connect(cell, &TIconCell::dragStarted, cell, [this, k](QPoint grabbedAt) { dragCell_(k, grabbedAt); });
        LoadCell(*cell, firstIcon + k);
    }
    building_ = false;
    StartSharpPictures(firstIcon);
    scrollBar_.setEnabled(true);
    // Unless something else has taken the focus meanwhile.
    if (barHadFocus && scrollBar_.window()->focusWidget() == focusAfterDisabling)
        scrollBar_.setFocus(Qt::OtherFocusReason);
}

void TIconGrid::LoadCell(TIconCell& cell, int icon)
{
    const QImage picture(session_.TempBitmaps[icon], "BMP");
    if (picture.isNull()) {
        // Missing, unreadable or not a bitmap: a blank cell that takes no clicks.
        cell.SetPicture(QImage(), QString());
        cell.resize(kCellSize, kCellSize);
        cell.setEnabled(false);
    } else {
        cell.SetPicture(picture, session_.TempBitmaps[static_cast<std::size_t>(icon)]);
        cell.resize(FittedCellSize(picture.size()));
        // The origin as it stands now, with the picture: a later scan rewrites the slot
        // while this page may still be on screen.
        cell.SetToolTipSource([this, origin = session_.IconOrigins[static_cast<std::size_t>(icon)]] {
            return IconToolTip(origin, session_.FolderPath);
        });
    }
    cell.show();
    ProcessMessages();
}

int TIconGrid::IconOfCell(int k) const
{
    if (k < 0 || k > LastCellIndex || !IconCells[k] || IconCells[k]->Picture().isNull())
        return 0;
    return firstIcon_ + k;
}

void TIconGrid::Select(int k)
{
    HideSelectionFrame();
    if (k >= 0 && k <= LastCellIndex && SelectionFrames[k])
        SelectionFrames[k]->show();
    SelectedCell = k;
    if (keys_)
        keys_->UpdateFocusIndicator();
}

int TIconGrid::CellAt(QPoint pos) const
{
    for (int k = 0; k <= LastCellIndex; ++k)
        if (IconCells[k] && IconCells[k]->geometry().contains(pos))
            return k;
    return -1;
}

const QImage* TIconGrid::SelectedPicture() const
{
    if (SelectedCell < 0 || SelectedCell > LastCellIndex || !IconCells[SelectedCell])
        return nullptr;
    const QImage& picture = IconCells[SelectedCell]->Picture();
    // A blank cell has nothing to copy or paint.
    return picture.isNull() ? nullptr : &picture;
}

void TIconGrid::AnnounceCurrent()
{
    if (keys_)
        keys_->AnnounceFocus();
}

bool TIconGrid::IsFramed(int k) const
{
    return k >= 0 && k <= LastCellIndex && SelectionFrames[k] && !SelectionFrames[k]->isHidden();
}

void TIconGrid::StartSharpPictures(int firstIcon)
{
    // At a ratio of 1 the bitmap is the picture, and no file is read again.
    const qreal ratio = panel_.devicePixelRatioF();
    sharpRatio_ = ratio;
    if (ratio <= 1 || ShuttingDown)
        return;
    struct Cell {
        int slot;
        IconOrigin origin;
        QImage bitmap;
    };
    std::vector<Cell> cells;
    for (int k = 0; k <= LastCellIndex; ++k)
        if (IconCells[k] && !IconCells[k]->Picture().isNull())
            cells.push_back({k, session_.IconOrigins[static_cast<std::size_t>(firstIcon + k)], IconCells[k]->Picture()});
    if (cells.empty())
        return;
    StopSharpPictures();
    sharpPending_ = true;
    // Handed over a row's worth at a time, so the page sharpens from the top while the
    // rest is read.
    const auto deliver = [this, page = sharpPage_](std::vector<std::pair<int, QImage>> pictures, bool last) {
        QMetaObject::invokeMethod(&panel_, [this, page, pictures = std::move(pictures), last] {
            if (page != sharpPage_)
                return;
            for (const auto& [slot, picture] : pictures)
                if (IconCells[slot])
                    IconCells[slot]->SetSharpPicture(picture);
            if (last)
                sharpPending_ = false;
        }, Qt::QueuedConnection);
    };
    sharpWork_ = std::jthread([cells = std::move(cells), ratio, deliver, row = std::max(GridColumns, 1)](std::stop_token stop) {
        SharpIcons icons;
        std::vector<std::pair<int, QImage>> pictures;
        for (std::size_t i = 0; i < cells.size() && !stop.stop_requested(); ++i) {
            QImage sharp = icons.Draw(cells[i].origin, cells[i].bitmap, ratio);
            if (!sharp.isNull())
                pictures.emplace_back(cells[i].slot, std::move(sharp));
            const bool last = i + 1 == cells.size();
            if (last || (cells[i].slot + 1) % row == 0)
                deliver(std::exchange(pictures, {}), last);
        }
    });
}

void TIconGrid::WatchWindowScreen()
{
    QWindow* window = panel_.window()->windowHandle();
    if (!window || window == window_ || !keys_)
        return;
    window_ = window;
    // The new screen's ratio is the window's already when this comes.
    QObject::connect(window, &QWindow::screenChanged, keys_, [this](QScreen* screen) {
        WatchScreenScale(screen);
        FollowDeviceRatio();
    });
    WatchScreenScale(window->screen());
}

void TIconGrid::WatchScreenScale(QScreen* screen)
{
    QObject::disconnect(screenScaleWatch_);
    if (!screen || !keys_)
        return;
    // A screen's scale follows its dots per inch (X11's Xft.dpi, for one); the window's
    // ratio is read once Qt has taken the new value in.
    screenScaleWatch_ = QObject::connect(screen, &QScreen::logicalDotsPerInchChanged, keys_,
                                         [this] { FollowDeviceRatio(); }, Qt::QueuedConnection);
}

void TIconGrid::FollowDeviceRatio()
{
    // A page being built draws its pictures for the ratio it ends at.
    if (building_ || ShuttingDown || qFuzzyCompare(panel_.devicePixelRatioF(), sharpRatio_))
        return;
    StopSharpPictures();
    for (int k = 0; k <= LastCellIndex; ++k)
        if (IconCells[k])
            IconCells[k]->SetSharpPicture(QImage());
    StartSharpPictures(firstIcon_);
}

void TIconGrid::StopSharpPictures()
{
    if (sharpWork_.joinable()) {
        sharpWork_.request_stop();
        sharpWork_.join();
    }
    ++sharpPage_;
    sharpPending_ = false;
}

void TIconGrid::FreePage()
{
    StopSharpPictures();
    for (int k = 0; k <= LastCellIndex; ++k) {
        if (IconCells[k]) {
            delete IconCells[k].data();
            ProcessMessages();
        }
        if (SelectionFrames[k]) {
            delete SelectionFrames[k].data();
            ProcessMessages();
        }
    }
}

void TIconGrid::HideSelectionFrame()
{
    if (SelectedCell <= LastCellIndex && SelectionFrames[SelectedCell])
        SelectionFrames[SelectedCell]->hide();
}

void TIconGrid::RestoreSelectionFrame()
{
    if (LastCellIndex < 0)
        return; // no cell, so no frame to show
    if (SelectedCell > LastCellIndex)
        SelectedCell = 0;
    if (SelectionFrames[SelectedCell])
        SelectionFrames[SelectedCell]->show();
}
