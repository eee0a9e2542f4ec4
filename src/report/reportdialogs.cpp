#include "report/reportdialogs.h"

#include "ui/dialogs.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QPrintDialog>

bool ReportDialogs::ExecPrintDialog(QPrintDialog& dialog)
{
    const KeysBackTo keys(dialog.parentWidget());
    return dialog.exec() == QDialog::Accepted;
}

namespace {
// Qt's own file dialog speaks the program's language; a desktop's native one (a GTK
// platform theme, a portal) would follow the system's locale instead.
constexpr QFileDialog::Options kFileDialogOptions = QFileDialog::DontUseNativeDialog;

// Qt writes a file's date in the system's locale ("8 Dec" in an English one); the
// dialog's other texts, the type names included, are the program's Japanese.
class JapaneseDates final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override
    {
        constexpr int kDateColumn = 3;
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (files && index.column() == kDateColumn && role == Qt::DisplayRole)
            return QLocale(QLocale::Japanese, QLocale::Japan)
                .toString(files->lastModified(mapToSource(index)), QLocale::ShortFormat);
        return QIdentityProxyModel::data(index, role);
    }
};

QString ChooseFile(QWidget* owner, const QString& caption, const QString& filters, QString* selectedFilter,
                   QFileDialog::AcceptMode mode)
{
    const KeysBackTo keys(owner);
    QFileDialog dialog(owner, caption, QString(), filters);
    dialog.setOptions(kFileDialogOptions);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setProxyModel(new JapaneseDates(&dialog));
    if (selectedFilter && !selectedFilter->isEmpty())
        dialog.selectNameFilter(*selectedFilter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    if (selectedFilter)
        *selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}
} // namespace

QString ReportDialogs::SaveFileName(QWidget* owner, const QString& caption, const QString& filters,
                                    QString* selectedFilter)
{
    return ChooseFile(owner, caption, filters, selectedFilter, QFileDialog::AcceptSave);
}

QString ReportDialogs::OpenFileName(QWidget* owner, const QString& caption, const QString& filters)
{
    return ChooseFile(owner, caption, filters, nullptr, QFileDialog::AcceptOpen);
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
