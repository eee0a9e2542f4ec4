#include "ui/filechooser.h"

#include "ui/dialogs.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>

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
} // namespace

QString ChooseFileName(QWidget* owner, const QString& caption, const QString& start, const QString& filters,
                       QString* selectedFilter, FileChoice choice)
{
    const KeysBackTo keys(owner);
    QFileDialog dialog(owner, caption, start, filters);
    dialog.setOptions(kFileDialogOptions);
    dialog.setAcceptMode(choice == FileChoice::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(choice == FileChoice::Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setProxyModel(new JapaneseDates(&dialog));
    if (selectedFilter && !selectedFilter->isEmpty())
        dialog.selectNameFilter(*selectedFilter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    if (selectedFilter)
        *selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}
