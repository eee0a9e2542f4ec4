#include "platform/folderdialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <optional>

TFolderDialog::TFolderDialog(QWidget* owner, const QString& prompt) : QDialog(owner)
{
    setObjectName(QStringLiteral("FolderDialog"));
    setWindowTitle(QStringLiteral("フォルダーの参照"));
    setWindowModality(Qt::ApplicationModal);
    resize(360, 420);

    auto* label = new QLabel(prompt, this);
    label->setObjectName(QStringLiteral("Prompt"));
    label->setWordWrap(true);

    // The model reads folders lazily and in the background, so a folder of thousands of
    // entries opens without blocking the dialog.
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath(QDir::rootPath());

    Tree = new QTreeView(this);
    Tree->setObjectName(QStringLiteral("FolderTree"));
    Tree->setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column)
        Tree->hideColumn(column);
    Tree->header()->hide();
    Tree->setRootIndex(model_->index(QString()));
    Tree->setUniformRowHeights(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(Tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [ok](const QModelIndex& current) { ok->setEnabled(current.isValid()); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(Tree, 1);
    layout->addWidget(buttons);
}

QString TFolderDialog::SelectedFolder() const
{
    const QModelIndex current = Tree->currentIndex();
    return current.isValid() ? QDir::cleanPath(model_->filePath(current)) : QString();
}

void TFolderDialog::SelectFolder(const QString& folder)
{
    const QModelIndex index = model_->index(QDir::cleanPath(folder));
    if (!index.isValid())
        return;
    Tree->setCurrentIndex(index);
    Tree->scrollTo(index);
}

std::optional<QString> ChooseFolder(QWidget* owner, const QString& prompt)
{
    TFolderDialog dialog(owner, prompt);
    dialog.SelectFolder(QDir::homePath());
    if (dialog.exec() != QDialog::Accepted || dialog.SelectedFolder().isEmpty())
        return std::nullopt;
    return dialog.SelectedFolder();
}
