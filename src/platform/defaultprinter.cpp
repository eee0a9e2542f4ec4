#include "platform/defaultprinter.h"

#include <cups/cups.h>

#include <memory>

namespace {
struct DestinationFree {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
} // namespace

QString DefaultPrinterName()
{
    // Asked as lp asks: CUPS's list of printers loses the default named by $PRINTER once
    // the user keeps defaults of its own for that printer (and Qt's default goes with it).
    const std::unique_ptr<cups_dest_t, DestinationFree> dest(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr));
    if (!dest)
        return QString();
    const QString queue = QString::fromUtf8(dest->name);
    return dest->instance ? queue + QLatin1Char('/') + QString::fromUtf8(dest->instance) : queue;
}
