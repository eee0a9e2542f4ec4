// Answers the program's modal boxes in tests and remembers what they said.
#pragma once

#include "platform/dialogs.h"

#include <QStringList>
#include <functional>

class RecordingDialogs : public Dialogs {
public:
    RecordingDialogs() : previous_(InstallDialogs(this)) {}
    ~RecordingDialogs() override { InstallDialogs(previous_); }

    void Information(QWidget*, const QString& text) override { shown << QStringLiteral("information: ") + text; }
    void Error(QWidget*, const QString& text) override { shown << QStringLiteral("error: ") + text; }
    void Plain(QWidget*, const QString& text) override { shown << QStringLiteral("plain: ") + text; }
    void ShowModal(QWidget* dialog) override
    {
        if (onModal)
            onModal(dialog);
        else
            Dialogs::ShowModal(dialog);
    }

    QStringList shown;
    std::function<void(QWidget*)> onModal;

private:
    Dialogs* previous_;
};
