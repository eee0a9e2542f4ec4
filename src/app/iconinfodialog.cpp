#include "app/iconinfodialog.h"

#include "platform/filenames.h"
#include "ui/imagemime.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QMimeData>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int kLargestShown = 256;
constexpr int kCheckerSquare = 8;

constexpr int kImageRole = Qt::UserRole;

QTableWidgetItem* TextItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
    return item;
}

// The images' table: a row dragged out carries its image.
class ImageTable final : public QTableWidget {
public:
    using QTableWidget::QTableWidget;

protected:
    QStringList mimeTypes() const override { return {QStringLiteral("image/png"), QStringLiteral("application/x-qt-image")}; }
    QMimeData* mimeData(const QList<QTableWidgetItem*>& items) const override
    {
        for (const QTableWidgetItem* item : items)
            if (item->column() == 0)
                return ImageMimeData(item->data(kImageRole).value<QImage>());
        return nullptr;
    }
};
} // namespace

QImage OnCheckerBoard(const QImage& picture)
{
    QImage board(picture.size(), QImage::Format_RGB32);
    QPainter painter(&board);
    for (int y = 0; y < board.height(); y += kCheckerSquare)
        for (int x = 0; x < board.width(); x += kCheckerSquare)
            painter.fillRect(x, y, kCheckerSquare, kCheckerSquare,
                             (x / kCheckerSquare + y / kCheckerSquare) % 2 ? QColor(0xDD, 0xDD, 0xDD) : Qt::white);
    painter.drawImage(0, 0, picture);
    return board;
}

TIconInfoDialog::TIconInfoDialog(const IconOrigin& origin, const std::vector<IconImageDetails>& images,
                                 QWidget* parent)
    : QDialog(parent), images_(new ImageTable(int(images.size()), 4, this))
{
    setObjectName(QStringLiteral("IconInfoDialog"));
    setWindowTitle(QStringLiteral("アイコンの情報"));

    auto* source = new QFormLayout;
    auto* file = new QLabel(WithoutControls(origin.Folder + QLatin1Char('/') + origin.FileName));
    file->setObjectName(QStringLiteral("File"));
    file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* index = new QLabel(QString::number(origin.Index));
    index->setObjectName(QStringLiteral("Index"));
    // Each caption labels its value, for a screen reader too, which reads the two in the
    // value's name as they read on the screen.
    for (const auto& [caption, value] : {std::pair{QStringLiteral("ファイル:"), file}, std::pair{QStringLiteral("インデックス:"), index}}) {
        auto* label = new QLabel(caption);
        label->setBuddy(value);
        value->setAccessibleName(caption + QLatin1Char(' ') + value->text());
        source->addRow(label, value);
    }
    // A System32 file whose icons Windows takes from SystemResources: the file they are in.
    if (!origin.IconsFrom.isEmpty()) {
        auto* from = new QLabel(WithoutControls(DisplayName(origin.IconsFrom)));
        from->setObjectName(QStringLiteral("IconsFrom"));
        from->setTextInteractionFlags(Qt::TextSelectableByMouse);
        const QString caption = QStringLiteral("アイコンの取得元:");
        from->setAccessibleName(caption + QLatin1Char(' ') + from->text());
        auto* label = new QLabel(caption);
        label->setBuddy(from);
        source->insertRow(1, label, from);
    }

    images_->setObjectName(QStringLiteral("Images"));
    images_->setAccessibleName(QStringLiteral("画像の一覧"));
    // Tab goes on to the buttons; the arrows move within the table.
    images_->setTabKeyNavigation(false);
    images_->setDragEnabled(true);
    images_->setDragDropMode(QAbstractItemView::DragOnly);
    images_->installEventFilter(this);
    images_->setHorizontalHeaderLabels({QStringLiteral("画像"), QStringLiteral("大きさ"), QStringLiteral("色"),
                                        QStringLiteral("形式")});
    images_->verticalHeader()->hide();
    images_->setSelectionBehavior(QAbstractItemView::SelectRows);
    images_->setSelectionMode(QAbstractItemView::SingleSelection);
    images_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    images_->setIconSize(QSize(kLargestShown, kLargestShown));
    int widest = 0;
    for (int row = 0; row < int(images.size()); ++row) {
        const IconImageDetails& image = images[std::size_t(row)];
        auto* picture = TextItem(image.Picture.isNull() ? QStringLiteral("読めません") : QString());
        picture->setData(Qt::AccessibleTextRole,
                         QStringLiteral("%1 × %2、%3").arg(image.Width).arg(image.Height).arg(ColoursText(image)));
        picture->setData(kImageRole, image.Picture);
        if (!image.Picture.isNull()) {
            const QImage shown = image.Picture.width() > kLargestShown || image.Picture.height() > kLargestShown
                ? image.Picture.scaled(kLargestShown, kLargestShown, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                : image.Picture;
            // The same picture selected: the row's highlight shows around it, untinted.
            const QPixmap pixmap = QPixmap::fromImage(OnCheckerBoard(shown));
            QIcon icon;
            icon.addPixmap(pixmap, QIcon::Normal);
            icon.addPixmap(pixmap, QIcon::Selected);
            picture->setData(Qt::DecorationRole, icon);
            images_->setRowHeight(row, shown.height() + 8);
            widest = std::max(widest, shown.width());
        }
        images_->setItem(row, 0, picture);
        images_->setItem(row, 1, TextItem(QStringLiteral("%1 × %2").arg(image.Width).arg(image.Height)));
        images_->setItem(row, 2, TextItem(ColoursText(image)));
        images_->setItem(row, 3, TextItem(image.Png ? QStringLiteral("PNG") : QStringLiteral("BMP")));
    }
    images_->resizeColumnsToContents();
    images_->setColumnWidth(0, std::max(images_->columnWidth(0), widest + 12));
    if (!images.empty())
        images_->selectRow(0);

    auto* buttons = new QDialogButtonBox(this);
    auto* copy = buttons->addButton(QStringLiteral("画像のコピー(&C)"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("CopyImage"));
    copy->setEnabled(!images.empty());
    connect(copy, &QPushButton::clicked, this, &TIconInfoDialog::CopyImage);
    auto* save = buttons->addButton(QStringLiteral("画像の保存(&S)..."), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("SaveImage"));
    save->setEnabled(!images.empty());
    auto* close = buttons->addButton(QStringLiteral("閉じる(&L)"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("Close"));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(save, &QPushButton::clicked, this, [this] {
        if (saveImage_)
            saveImage_(SelectedRow());
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(source);
    layout->addWidget(images_, 1);
    layout->addWidget(buttons);
    // Tall enough for a 256-pixel image and a few small ones, within the screen.
    resize(std::max(520, widest + 320), std::min(620, 140 + images_->verticalHeader()->length()));
}

int TIconInfoDialog::SelectedRow() const
{
    const QModelIndexList rows = images_->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.constFirst().row();
}

void TIconInfoDialog::CopyImage()
{
    if (const QTableWidgetItem* picture = images_->item(SelectedRow(), 0))
        QGuiApplication::clipboard()->setMimeData(ImageMimeData(picture->data(kImageRole).value<QImage>()));
}

bool TIconInfoDialog::eventFilter(QObject* watched, QEvent* event)
{
    // The table would copy its current cell's text.
    if (watched == images_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)
        && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        if (event->type() == QEvent::KeyPress)
            CopyImage();
        event->accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
