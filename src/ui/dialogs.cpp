#include "ui/dialogs.h"

#include "platform/errors.h"
#include "platform/folderdialog.h"
#include "ui/filechooser.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

namespace {
Dialogs& RealDialogs()
{
    static Dialogs dialogs;
    return dialogs;
}

Dialogs*& Installed()
{
    static Dialogs* installed = &RealDialogs();
    return installed;
}

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& caption, const QString& text,
             bool centreOnScreen)
{
    const KeysBackTo keys(owner);
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    if (centreOnScreen) {
        box.adjustSize();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        box.move(screen.center() - box.rect().center());
    }
    box.exec();
}
} // namespace

void Dialogs::Information(QWidget* owner, const QString& text)
{
    ShowBox(owner, QMessageBox::Information, QStringLiteral("情報"), text, false);
}

void Dialogs::Error(QWidget* owner, const QString& text)
{
    ShowBox(owner, QMessageBox::Critical, QCoreApplication::applicationName(), text, false);
}

void Dialogs::Plain(QWidget* owner, const QString& text)
{
    ShowBox(owner, QMessageBox::NoIcon, QCoreApplication::applicationName(), text, true);
}

void Dialogs::ShowModal(QWidget* dialog)
{
    if (auto* modal = qobject_cast<QDialog*>(dialog)) {
        const KeysBackTo keys(modal->parentWidget());
        modal->exec();
    }
}

std::optional<QString> Dialogs::ChooseFolder(QWidget* owner, const QString& prompt)
{
    const KeysBackTo keys(owner);
    return ::ChooseFolder(owner, prompt);
}

QString Dialogs::SaveFileName(QWidget* owner, const QString& caption, const QString& suggested, const QString& filters,
                              QString* selectedFilter)
{
    return ChooseFileName(owner, caption, suggested, filters, selectedFilter, FileChoice::Save);
}

QString Dialogs::OpenFileName(QWidget* owner, const QString& caption, const QString& filters)
{
    return ChooseFileName(owner, caption, QString(), filters, nullptr, FileChoice::Open);
}

bool Dialogs::ExecPrintDialog(QPrintDialog& dialog)
{
    const KeysBackTo keys(dialog.parentWidget());
    return dialog.exec() == QDialog::Accepted;
}

bool Dialogs::Question(QWidget* owner, const QString& text)
{
    const KeysBackTo keys(owner);
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), text, QMessageBox::Yes | QMessageBox::No, owner);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void Dialogs::WindowShown(QWidget&) {}

std::optional<SaveTarget> ChooseSaveTarget(QWidget* owner, const QString& caption, const QString& suggested,
                                           const QStringList& filters, int firstFilter)
{
    QString start = suggested;
    QString filter = filters.value(firstFilter);
    while (true) {
        const QString typed = CurrentDialogs().SaveFileName(owner, caption, start, filters.join(QStringLiteral(";;")), &filter);
        if (typed.isEmpty())
            return std::nullopt;
        const SaveTarget target = ResolveSaveTarget(typed, filters, filter);
        // The dialog itself has asked about the name as it was typed.
        if (target.path == typed || !QFileInfo::exists(target.path)
            || CurrentDialogs().Question(owner, QStringLiteral("%1 は既に存在します。\n置き換えますか?")
                                                    .arg(QFileInfo(target.path).fileName())))
            return target;
        start = typed;
    }
}

KeysBackTo::KeysBackTo(QWidget* owner) : window_(owner ? owner->window() : nullptr) {}

KeysBackTo::~KeysBackTo()
{
    if (window_ && window_->isVisible() && window_->isEnabled())
        window_->activateWindow();
}

Dialogs& CurrentDialogs()
{
    return *Installed();
}

Dialogs* InstallDialogs(Dialogs* dialogs)
{
    Dialogs* previous = Installed();
    Installed() = dialogs ? dialogs : &RealDialogs();
    return previous;
}

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

namespace detail {
void ReportEscapedError(QWidget* owner, const QString& message)
{
    CurrentDialogs().Error(owner, ErrorBoxText(message));
}

QString MessageOfCurrentException()
{
    try {
        throw;
    } catch (const AppError& error) {
        return error.message();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("予期しないエラーが発生しました");
    }
}
} // namespace detail
