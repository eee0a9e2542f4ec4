#include "grid/cells.h"

#include <QApplication>
#include <QBuffer>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QToolTip>
#include <QUrl>

QMimeData* IconDragData(const QImage& picture, const QString& file)
{
    auto* data = new QMimeData;
    data->setImageData(picture);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    data->setData(QStringLiteral("image/png"), png);
    data->setUrls({QUrl::fromLocalFile(file)});
    return data;
}

TIconCell::TIconCell(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TIconCell::SetPicture(const QImage& picture, const QString& file)
{
    picture_ = picture;
    pictureFile_ = file;
    update();
}

bool TIconCell::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && toolTipSource_) {
        // Escaped, since a file name may hold what Qt would take for markup; and unwrapped,
        // since Qt's tooltip would otherwise break a Japanese line between any two characters.
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(),
                           QStringLiteral("<p style='white-space:pre'>") + toolTipSource_().toHtmlEscaped()
                               + QStringLiteral("</p>"),
                           this, rect());
        return true;
    }
    return QWidget::event(event);
}

void TIconCell::paintEvent(QPaintEvent*)
{
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(rect(), picture_);
}

void TIconCell::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        pressedAt_ = event->position().toPoint();
        emit clicked();
    }
    QWidget::mousePressEvent(event);
}

void TIconCell::mouseMoveEvent(QMouseEvent* event)
{
    if (pressedAt_ && (event->buttons() & Qt::LeftButton)
        && (event->position().toPoint() - *pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
        const QPoint grabbedAt = *std::exchange(pressedAt_, std::nullopt);
        emit dragStarted(grabbedAt);
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void TIconCell::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        pressedAt_.reset();
    QWidget::mouseReleaseEvent(event);
}

TSelectionFrame::TSelectionFrame(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TSelectionFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect square(0, 0, 36, 36); // drawRect of 35 × 35 covers 36 pixels a side
    // The shadow lies on top where the two outlines cross, so it reads as one groove.
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(square.adjusted(1, 1, 0, 0));
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(square.adjusted(0, 0, -1, -1));
}
