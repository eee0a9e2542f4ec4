#include "app/iconinfodialog.h"

#include <QDialogButtonBox>
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

QTableWidgetItem* TextItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}
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
    : QDialog(parent), images_(new QTableWidget(int(images.size()), 4, this))
{
    setObjectName(QStringLiteral("IconInfoDialog"));
    setWindowTitle(QStringLiteral("アイコンの情報"));

    auto* source = new QFormLayout;
    auto* file = new QLabel(origin.Folder + QLatin1Char('/') + origin.FileName);
    file->setObjectName(QStringLiteral("File"));
    file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* index = new QLabel(QString::number(origin.Index));
    index->setObjectName(QStringLiteral("Index"));
    source->addRow(QStringLiteral("ファイル:"), file);
    source->addRow(QStringLiteral("インデックス:"), index);

    images_->setObjectName(QStringLiteral("Images"));
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
        if (!image.Picture.isNull()) {
            const QImage shown = image.Picture.width() > kLargestShown || image.Picture.height() > kLargestShown
                ? image.Picture.scaled(kLargestShown, kLargestShown, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                : image.Picture;
            picture->setData(Qt::DecorationRole, QPixmap::fromImage(OnCheckerBoard(shown)));
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
    auto* save = buttons->addButton(QStringLiteral("画像の保存(&S)..."), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("SaveImage"));
    save->setEnabled(!images.empty());
    auto* close = buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("Close"));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(save, &QPushButton::clicked, this, [this] {
        const QModelIndexList rows = images_->selectionModel()->selectedRows();
        if (saveImage_)
            saveImage_(rows.isEmpty() ? 0 : rows.constFirst().row());
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(source);
    layout->addWidget(images_, 1);
    layout->addWidget(buttons);
    // Tall enough for a 256-pixel image and a few small ones, within the screen.
    resize(std::max(520, widest + 320), std::min(620, 140 + images_->verticalHeader()->length()));
}
