#include "report/reportdialogs.h"

#include <QFileDialog>
#include <QPrintDialog>

bool ReportDialogs::ExecPrintDialog(QPrintDialog& dialog)
{
    return dialog.exec() == QDialog::Accepted;
}

namespace {
// Qt's own file dialog speaks the program's language; a desktop's native one (a GTK
// platform theme, a portal) would follow the system's locale instead.
constexpr QFileDialog::Options kFileDialogOptions = QFileDialog::DontUseNativeDialog;
} // namespace

QString ReportDialogs::SaveFileName(QWidget* owner, const QString& caption, const QString& filters,
                                    QString* selectedFilter)
{
    return QFileDialog::getSaveFileName(owner, caption, QString(), filters, selectedFilter, kFileDialogOptions);
}

QString ReportDialogs::OpenFileName(QWidget* owner, const QString& caption, const QString& filters)
{
    return QFileDialog::getOpenFileName(owner, caption, QString(), filters, nullptr, kFileDialogOptions);
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
