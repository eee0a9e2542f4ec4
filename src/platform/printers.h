// The printing system's printers: each printer's settings as its driver describes them,
// kept as the user's own defaults in CUPS (what lpoptions keeps).
#pragma once

#include "platform/defaultprinter.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

class QPrinter;

// One setting that a printer's driver offers (paper size, paper source, resolution,
// two-sided printing, ...), with the driver's keywords and texts.
struct PrinterOption {
    struct Choice {
        QByteArray keyword;
        QString text;
    };
    QByteArray keyword;
    QString text;
    // The title of the driver's group the setting belongs to.
    QString group;
    QList<Choice> choices;
    // The choice in force for this user: the user's own default, else the driver's.
    QByteArray current;
};

// A printer opened for its property sheet.
struct PrinterProperties {
    QString name;
    std::vector<PrinterOption> options;
};

// The settings of the printer of that name, or std::nullopt when no printer of that name
// can be opened (an empty name never can). A printer without a driver has no settings.
std::optional<PrinterProperties> OpenPrinter(const QString& name);

// Keeps these values (keyword and choice) as the user's own defaults for the printer, as
// "lpoptions -p NAME -o KEYWORD=CHOICE" does: in ~/.cups/lpoptions, or for root in the
// system's lpoptions. Every program that prints there through CUPS takes them up. Throws
// an AppError when they can't be kept.
void SaveUserDefaults(const QString& name, const std::vector<std::pair<QByteArray, QByteArray>>& values);

// Hands the user's defaults for the printer that is set on printer over to its print
// jobs, as lp does; the paper size, orientation, copies and two-sided printing stay what
// the QPrinter says. Does nothing for a PDF file or when no printer is set.
void ApplyUserDefaults(QPrinter& printer);
