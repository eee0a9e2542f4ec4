#include "platform/printers.h"

#include <QPrinter>
#include <QPrinterInfo>

QString DefaultPrinterName()
{
    return QPrinterInfo::defaultPrinterName();
}

std::unique_ptr<QPrinter> OpenPrinter(const QString& name)
{
    const QPrinterInfo printer = QPrinterInfo::printerInfo(name);
    if (name.isEmpty() || printer.isNull())
        return nullptr;
    return std::make_unique<QPrinter>(printer, QPrinter::HighResolution);
}
