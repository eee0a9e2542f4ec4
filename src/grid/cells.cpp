#include "grid/cells.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QToolTip>

TIconCell::TIconCell(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TIconCell::SetPicture(const QImage& picture)
{
    picture_ = picture;
    update();
}

bool TIconCell::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && toolTipSource_) {
        // As plain text: a file name may hold what Qt would take for markup.
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(toolTipSource_(), Qt::WhiteSpaceNoWrap), this,
                           rect());
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
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QWidget::mousePressEvent(event);
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
