// The default printer's name, the stand-in for the profile's default device. Apart from
// the printers' settings, so that the settings file needs CUPS alone, not Qt's printing.
#pragma once

#include <QString>

// The name by which the default printer can be opened, or empty text when the printing
// system names none. It asks the print server, which may take a while: never call it
// at start-up.
QString DefaultPrinterName();
