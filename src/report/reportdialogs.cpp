#include "report/reportdialogs.h"

#include "ui/dialogs.h"
#include "ui/filechooser.h"

#include <QPrintDialog>

bool ReportDialogs::ExecPrintDialog(QPrintDialog& dialog)
{
    const KeysBackTo keys(dialog.parentWidget());
    return dialog.exec() == QDialog::Accepted;
}

QString ReportDialogs::SaveFileName(QWidget* owner, const QString& caption, const QString& filters,
                                    QString* selectedFilter)
{
    return ChooseFileName(owner, caption, QString(), filters, selectedFilter, FileChoice::Save);
}

QString ReportDialogs::OpenFileName(QWidget* owner, const QString& caption, const QString& filters)
{
    return ChooseFileName(owner, caption, QString(), filters, nullptr, FileChoice::Open);
}

namespace {
ReportDialogs& RealDialogs()
{
    static ReportDialogs dialogs;
    return dialogs;
}

ReportDialogs*& Installed()
{
    static ReportDialogs* installed = &RealDialogs();
    return installed;
}
} // namespace

ReportDialogs& CurrentReportDialogs()
{
    return *Installed();
}

ReportDialogs* InstallReportDialogs(ReportDialogs* dialogs)
{
    ReportDialogs* previous = Installed();
    Installed() = dialogs ? dialogs : &RealDialogs();
    return previous;
}
