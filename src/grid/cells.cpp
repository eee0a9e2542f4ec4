#include "grid/cells.h"

#include "ui/imagemime.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextDocument>
#include <QToolTip>
#include <QUrl>

QMimeData* IconDragData(const QImage& picture, const QString& file)
{
    QMimeData* data = ImageMimeData(picture);
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
    sharp_ = QImage();
    pictureFile_ = file;
    update();
}

void TIconCell::SetSharpPicture(const QImage& sharp)
{
    sharp_ = sharp;
    update();
}

QString ToolTipMarkup(const QString& text, const QFontMetrics& metrics, int maxWidth)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = metrics.elidedText(line, Qt::ElideMiddle, maxWidth).toHtmlEscaped();
    return QStringLiteral("<p style='white-space:pre'>") + lines.join(QStringLiteral("<br>")) + QStringLiteral("</p>");
}

bool TIconCell::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && toolTipSource_) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QScreen* at = QGuiApplication::screenAt(help->globalPos());
        const int width = (at ? at : screen())->availableGeometry().width() * 9 / 10;
        QToolTip::showText(help->globalPos(), ToolTipMarkup(toolTipSource_(), QFontMetrics(QToolTip::font()), width),
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
    // Until the pictures for a new screen's ratio come, the old ones would be scaled.
    const bool sharp = !sharp_.isNull() && qFuzzyCompare(sharp_.devicePixelRatio(), devicePixelRatioF());
    painter.drawImage(rect(), sharp ? sharp_ : picture_);
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

void TSelectionFrame::SetFocusVisible(bool visible)
{
    if (visible == focusVisible_)
        return;
    focusVisible_ = visible;
    update();
}

void TSelectionFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (focusVisible_) {
        painter.setPen(palette().color(QPalette::Text));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    painter.translate(kFocusMargin, kFocusMargin);
    const QRect square(0, 0, 36, 36); // drawRect of 35 × 35 covers 36 pixels a side
    // The shadow lies on top where the two outlines cross, so it reads as one groove.
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(square.adjusted(1, 1, 0, 0));
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(square.adjusted(0, 0, -1, -1));
}
