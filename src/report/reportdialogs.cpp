#include "report/reportdialogs.h"

#include <QFileDialog>
#include <QPrintDialog>

bool ReportDialogs::ExecPrintDialog(QPrintDialog& dialog)
{
    return dialog.exec() == QDialog::Accepted;
}

QString ReportDialogs::SaveFileName(QWidget* owner, const QString& caption, const QString& filters,
                                    QString* selectedFilter)
{
    return QFileDialog::getSaveFileName(owner, caption, QString(), filters, selectedFilter);
}

QString ReportDialogs::OpenFileName(QWidget* owner, const QString& caption, const QString& filters)
{
    return QFileDialog::getOpenFileName(owner, caption, QString(), filters);
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
