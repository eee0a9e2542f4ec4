// Answers the program's modal boxes in tests and remembers what they said.
#pragma once

#include "ui/dialogs.h"

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

    std::optional<QString> ChooseFolder(QWidget*, const QString& prompt) override
    {
        shown << QStringLiteral("folder: ") + prompt;
        return folderAnswers.isEmpty() ? std::nullopt : folderAnswers.takeFirst();
    }

    QString SaveFileName(QWidget*, const QString& caption, const QString& suggested, const QString& filters,
                         QString* selectedFilter) override
    {
        shown << QStringLiteral("save: %1 %2 [%3]").arg(caption, suggested, filters);
        if (selectedFilter && !saveFilters.isEmpty())
            *selectedFilter = saveFilters.takeFirst();
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }

    bool Question(QWidget*, const QString& text) override
    {
        shown << QStringLiteral("question: ") + text;
        return !questionAnswers.isEmpty() && questionAnswers.takeFirst();
    }
    void WindowShown(QWidget& window) override
    {
        if (onWindowShown)
            onWindowShown(window);
    }

    QStringList shown;
    // Answers to questions, one each; none left means いいえ.
    QList<bool> questionAnswers;
    std::function<void(QWidget&)> onWindowShown;
    // The save dialog's answers and chosen filters, one per dialog; none left means Cancel.
    QStringList saveAnswers;
    QStringList saveFilters;
    std::function<void(QWidget*)> onModal;
    // The folder dialog's answers, one per dialog; none left means Cancel.
    QList<std::optional<QString>> folderAnswers;

private:
    Dialogs* previous_;
};
