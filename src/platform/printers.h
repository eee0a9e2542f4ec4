// The printing system's default printer.
#pragma once

#include <QString>

// The name by which the default printer can be opened, or empty text when the printing
// system names none. It asks the print server, which may take a while: never call it
// at start-up.
QString DefaultPrinterName();
