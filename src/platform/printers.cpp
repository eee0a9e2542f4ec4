#include "platform/printers.h"

#include <QPrinterInfo>

QString DefaultPrinterName()
{
    return QPrinterInfo::defaultPrinterName();
}
