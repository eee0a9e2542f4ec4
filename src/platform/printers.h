// The printing system's default printer.
#pragma once

#include <QString>

#include <memory>

class QPrinter;

// The name by which the default printer can be opened, or empty text when the printing
// system names none. It asks the print server, which may take a while: never call it
// at start-up.
QString DefaultPrinterName();

// The printer of that name, ready for its settings to be shown and changed, or nullptr
// when no printer of that name can be opened (an empty name never can).
std::unique_ptr<QPrinter> OpenPrinter(const QString& name);
