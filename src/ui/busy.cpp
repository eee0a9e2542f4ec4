#include "ui/busy.h"

#include <QApplication>
#include <QCursor>

BusyCursor::BusyCursor()
{
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

BusyCursor::~BusyCursor()
{
    QApplication::restoreOverrideCursor();
}

void ProcessMessages()
{
    QCoreApplication::processEvents();
}
