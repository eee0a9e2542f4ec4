// The report's modal dialogs go through one replaceable object, like the program's
// message boxes, so tests can answer them. Message boxes themselves use Dialogs.
#pragma once

#include <QString>

class QPrintDialog;
class QWidget;

class ReportDialogs {
public:
    virtual ~ReportDialogs() = default;

    // True when the user confirmed the dialog; the dialog's printer then holds the choice.
    virtual bool ExecPrintDialog(QPrintDialog& dialog);
    // Empty when the user cancelled. selectedFilter comes back as the filter chosen.
    virtual QString SaveFileName(QWidget* owner, const QString& caption, const QString& filters,
                                 QString* selectedFilter);
    virtual QString OpenFileName(QWidget* owner, const QString& caption, const QString& filters);
};

ReportDialogs& CurrentReportDialogs();
// Returns the object that was in force; nullptr puts the real dialogs back.
ReportDialogs* InstallReportDialogs(ReportDialogs* dialogs);
