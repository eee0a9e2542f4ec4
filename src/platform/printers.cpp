#include "platform/printers.h"

#include "platform/errors.h"

#include <QPrinter>
#include <QScopeGuard>
#include <QtPrintSupport/private/qcups_p.h>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <unistd.h>

#include <memory>

// A queue's driver settings are described by its PPD file. CUPS calls that interface
// deprecated but has no other that lists a driver's own settings, and makes a PPD for
// driverless printers too; Qt's CUPS support reads it the same way.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {
// A printer name as CUPS takes it apart: the queue, and the instance after a slash.
struct Destination {
    explicit Destination(const QString& name)
        : queue(name.section(QLatin1Char('/'), 0, 0).toUtf8()), instance(name.section(QLatin1Char('/'), 1).toUtf8())
    {
    }
    const char* Instance() const { return instance.isEmpty() ? nullptr : instance.constData(); }

    QByteArray queue;
    QByteArray instance;
};

struct DestinationFree {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
// The printer with the user's own defaults merged over the server's.
using NamedDestination = std::unique_ptr<cups_dest_t, DestinationFree>;

NamedDestination OpenDestination(const Destination& printer)
{
    return NamedDestination(cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.queue.constData(), printer.Instance()));
}

struct DriverClose {
    void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};
using Driver = std::unique_ptr<ppd_file_t, DriverClose>;

// The queue's driver description with the choices in force for this user marked, or
// nullptr for a queue without a driver.
Driver MarkedDriver(const Destination& printer, cups_dest_t& dest)
{
    const char* file = cupsGetPPD(printer.queue.constData()); // a temporary copy
    if (!file)
        return nullptr;
    Driver driver(ppdOpenFile(file));
    unlink(file);
    if (!driver)
        return nullptr;
    ppdMarkDefaults(driver.get());
    cupsMarkOptions(driver.get(), dest.num_options, dest.options);
    ppdLocalize(driver.get());
    return driver;
}

void AddOptions(const ppd_file_t& driver, const ppd_group_t& group, const QString& title,
                std::vector<PrinterOption>& options)
{
    for (int n = 0; n < group.num_options; ++n) {
        const ppd_option_t& found = group.options[n];
        // The region follows the paper size: it is never a setting of its own.
        if (qstrcmp(found.keyword, "PageRegion") == 0)
            continue;
        PrinterOption option{found.keyword, QString::fromUtf8(found.text), title, {}, found.defchoice};
        for (int c = 0; c < found.num_choices; ++c) {
            const ppd_choice_t& choice = found.choices[c];
            // A custom size needs measures that a choice alone can't give.
            if (qstrcmp(choice.choice, "Custom") == 0)
                continue;
            option.choices.append({choice.choice, QString::fromUtf8(choice.text)});
            if (choice.marked)
                option.current = choice.choice;
        }
        if (!option.choices.isEmpty())
            options.push_back(std::move(option));
    }
    for (int n = 0; n < group.num_subgroups; ++n)
        AddOptions(driver, group.subgroups[n], title, options);
}

// What the QPrinter sends with every job itself (paper, orientation, copies, two-sided
// printing), the driver's names for the same, and what the server tells about the queue
// rather than about jobs.
bool DecidedElsewhere(const char* option)
{
    static const char* const kNames[] = {
        "media", "PageSize", "PageRegion", "orientation-requested", "landscape", "copies", "Collate",
        "multiple-document-handling", "sides", "Duplex", "device-uri", "member-uris", "auth-info-required",
    };
    for (const char* name : kNames)
        if (qstricmp(name, option) == 0)
            return true;
    return qstrnicmp(option, "printer-", 8) == 0 || qstrnicmp(option, "marker-", 7) == 0;
}
} // namespace

std::optional<PrinterProperties> OpenPrinter(const QString& name)
{
    if (name.isEmpty())
        return std::nullopt;
    const Destination printer(name);
    const NamedDestination dest = OpenDestination(printer);
    if (!dest)
        return std::nullopt;
    PrinterProperties properties{name, {}};
    if (const Driver driver = MarkedDriver(printer, *dest)) {
        for (int n = 0; n < driver->num_groups; ++n) {
            const ppd_group_t& group = driver->groups[n];
            // Installed trays and units are the administrator's to declare, not a user's.
            if (qstrcmp(group.name, "InstallableOptions") != 0)
                AddOptions(*driver, group, QString::fromUtf8(group.text), properties.options);
        }
    }
    return properties;
}

void SaveUserDefaults(const QString& name, const std::vector<std::pair<QByteArray, QByteArray>>& values)
{
    if (values.empty())
        return;
    const Destination printer(name);
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests(&dests);
    const auto freeDests = qScopeGuard([&] { cupsFreeDests(count, dests); });
    cups_dest_t* dest = cupsGetDest(printer.queue.constData(), printer.Instance(), count, dests);
    if (dest) {
        for (const auto& [keyword, choice] : values)
            dest->num_options = cupsAddOption(keyword.constData(), choice.constData(), dest->num_options, &dest->options);
    }
    if (!dest || cupsSetDests2(CUPS_HTTP_DEFAULT, count, dests) != 0)
        throw AppError(QStringLiteral("プリンタ %1 の設定を保存できません").arg(name));
}

void ApplyUserDefaults(QPrinter& printer)
{
    if (printer.outputFormat() != QPrinter::NativeFormat || printer.printerName().isEmpty())
        return;
    const NamedDestination dest = OpenDestination(Destination(printer.printerName()));
    if (!dest)
        return;
    for (int n = 0; n < dest->num_options; ++n) {
        const cups_option_t& option = dest->options[n];
        if (!DecidedElsewhere(option.name))
            QCUPSSupport::setCupsOption(&printer, QString::fromUtf8(option.name), QString::fromUtf8(option.value));
    }
}
