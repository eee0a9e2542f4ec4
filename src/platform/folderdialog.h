// The folder chooser of Open and Save: a prompt above a tree of the file system from its
// root, folders only, modal to the whole program.
#pragma once

#include <QDialog>
#include <QPersistentModelIndex>

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The tree reads folders in the background and sorts each as it comes in, so rows
    // move above the selected one. Around each change the selected row keeps its place
    // on screen, or is brought into sight, until the user scrolls or clicks in the tree;
    // selecting a row makes it the one kept.
    void NoteSelectedRow();
    void KeepSelectedRowInSight();

    QFileSystemModel* model_ = nullptr;
    bool keepSelectedRow_ = true;
    QPersistentModelIndex noted_; // the selected row before a change, when in sight
    int notedTop_ = 0;
};

// Shows the chooser. Confirmed: the folder's path; cancelled: std::nullopt.
std::optional<QString> ChooseFolder(QWidget* owner, const QString& prompt);
