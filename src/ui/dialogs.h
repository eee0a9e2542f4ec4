// Every modal box the program shows goes through one replaceable object, so that
// tests can answer the boxes that a handler raises.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

#include "ui/savetarget.h"

class QPrintDialog;
class QWidget;

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Caption "情報", information icon, one OK button.
    virtual void Information(QWidget* owner, const QString& text);
    // The standard error box: caption "Vistrel", error icon, one OK button.
    virtual void Error(QWidget* owner, const QString& text);
    // No icon, one OK button, the application's title as caption, centred on the screen.
    virtual void Plain(QWidget* owner, const QString& text);
    // Shows a modal dialog and waits until it is closed.
    virtual void ShowModal(QWidget* dialog);
    // The folder chooser: the confirmed folder, or std::nullopt when cancelled.
    virtual std::optional<QString> ChooseFolder(QWidget* owner, const QString& prompt);
    // The file dialog for saving, suggesting suggested (a path); ChooseFileName's rules.
    virtual QString SaveFileName(QWidget* owner, const QString& caption, const QString& suggested,
                                 const QString& filters, QString* selectedFilter);
    // The file dialog for opening: the chosen file, or empty text when cancelled.
    virtual QString OpenFileName(QWidget* owner, const QString& caption, const QString& filters);
    // True when the user confirmed the print dialog; its printer then holds the choice.
    virtual bool ExecPrintDialog(QPrintDialog& dialog);
    // Caption "確認", question icon, はい and いいえ (the default): true for はい.
    virtual bool Question(QWidget* owner, const QString& text);
    // Told when a window that runs a loop of its own (the preview) has been shown, before
    // its work starts; tests reach such a window through it.
    virtual void WindowShown(QWidget& window);
};

// The save dialog with the program's one rule for its answer (ResolveSaveTarget), over
// owner, with filters offered and filters[firstFilter] shown first. When the rule adds an
// extension and that names a file that is there, asks before replacing it, as the dialog
// does for a name typed whole; いいえ opens the dialog again. Nothing when cancelled.
std::optional<SaveTarget> ChooseSaveTarget(QWidget* owner, const QString& caption, const QString& suggested,
                                           const QStringList& filters, int firstFilter = 0);

// For the lifetime of a modal dialog: gives the keys back to owner's window when it ends.
// A window manager would; without one they go to the root window and stay there.
class KeysBackTo {
public:
    explicit KeysBackTo(QWidget* owner);
    ~KeysBackTo();
    KeysBackTo(const KeysBackTo&) = delete;
    KeysBackTo& operator=(const KeysBackTo&) = delete;

private:
    QPointer<QWidget> window_;
};

// The object in force; a test installs its own and restores the old one when done.
Dialogs& CurrentDialogs();
Dialogs* InstallDialogs(Dialogs* dialogs);

// Runs one event handler. An AppError (or any other exception) that escapes it is
// reported in the standard error box, the rest of the handler is skipped, and the
// program goes on. Returns false when the handler was cut short.
template <typename Handler>
bool RunGuarded(QWidget* owner, Handler&& handler);

// The error box's text: the message with "." added when its last character sorts after ".".
QString ErrorBoxText(const QString& message);

namespace detail {
void ReportEscapedError(QWidget* owner, const QString& message);
QString MessageOfCurrentException();
} // namespace detail

template <typename Handler>
bool RunGuarded(QWidget* owner, Handler&& handler)
{
    try {
        handler();
        return true;
    } catch (...) {
        detail::ReportEscapedError(owner, detail::MessageOfCurrentException());
        return false;
    }
}
