#include "platform/folderdialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
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
    Tree->setAccessibleName(QStringLiteral("フォルダー"));
    // Rows move as the tree reads folders in the background and sorts them: the selected
    // row is noted before each change, ahead of the view, which drops its layout of rows
    // about to be removed, and put back in place after the view has taken the change in.
    connect(model_, &QAbstractItemModel::layoutAboutToBeChanged, this, &TFolderDialog::NoteSelectedRow);
    connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this, &TFolderDialog::NoteSelectedRow);
    connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this, &TFolderDialog::NoteSelectedRow);
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

    Tree->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(model_, &QAbstractItemModel::layoutChanged, this, &TFolderDialog::KeepSelectedRowInSight);
    connect(model_, &QAbstractItemModel::rowsInserted, this, &TFolderDialog::KeepSelectedRowInSight);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &TFolderDialog::KeepSelectedRowInSight);
    connect(Tree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { keepSelectedRow_ = true; });
    // Scrolled by the user, with the bar or the wheel: the view stays where it was put.
    connect(Tree->verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] { keepSelectedRow_ = false; });
    Tree->viewport()->installEventFilter(this);

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

void TFolderDialog::NoteSelectedRow()
{
    const QModelIndex current = Tree->currentIndex();
    const QRect row = Tree->visualRect(current);
    const bool inSight = row.height() > 0 && row.top() >= 0 && row.bottom() < Tree->viewport()->height();
    noted_ = keepSelectedRow_ && inSight ? QPersistentModelIndex(current) : QPersistentModelIndex();
    notedTop_ = row.top();
}

void TFolderDialog::KeepSelectedRowInSight()
{
    const QModelIndex current = Tree->currentIndex();
    if (!keepSelectedRow_ || !current.isValid())
        return;
    if (noted_ == current) {
        QScrollBar* bar = Tree->verticalScrollBar();
        bar->setValue(bar->value() + Tree->visualRect(current).top() - notedTop_);
    } else {
        Tree->scrollTo(current);
    }
}

bool TFolderDialog::eventFilter(QObject* watched, QEvent* event)
{
    // A click beside the selected row (on another folder's arrow, say): the user looks
    // around, and the rows may move. A click that selects a row makes it the one kept.
    if (watched == Tree->viewport() && event->type() == QEvent::MouseButtonPress)
        keepSelectedRow_ = Tree->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()) == Tree->currentIndex();
    return QDialog::eventFilter(watched, event);
}

std::optional<QString> ChooseFolder(QWidget* owner, const QString& prompt)
{
    TFolderDialog dialog(owner, prompt);
    dialog.SelectFolder(QDir::homePath());
    if (dialog.exec() != QDialog::Accepted || dialog.SelectedFolder().isEmpty())
        return std::nullopt;
    return dialog.SelectedFolder();
}
