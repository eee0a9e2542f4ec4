// The folder chooser of Open and Save: a prompt above a tree of the file system from its
// root, folders only, modal to the whole program.
#pragma once

#include <QDialog>

class QFileSystemModel;
class QLabel;
class QTreeView;

class TFolderDialog : public QDialog {
    Q_OBJECT
public:
    TFolderDialog(QWidget* owner, const QString& prompt);

    // The chosen folder: no trailing separator, except for the root itself.
    QString SelectedFolder() const;
    // Opens the tree at a folder and selects it.
    void SelectFolder(const QString& folder);

    QTreeView* Tree = nullptr;

private:
    QFileSystemModel* model_ = nullptr;
};

// Shows the chooser. Confirmed: the folder's path; cancelled: std::nullopt.
std::optional<QString> ChooseFolder(QWidget* owner, const QString& prompt);
