// Finds the texts on a window that are still in English: made of Latin letters only, a
// word of two letters or more among them. "OK" is the Japanese button's text as well, and
// paper names ("JIS B5", "A4 Extra") are used as they are, so the paper list is passed over,
// and so are paths.
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTabWidget>

inline QStringList EnglishTexts(const QWidget* window)
{
    QStringList texts{window->windowTitle()};
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        texts << widget->toolTip();
        if (auto* label = qobject_cast<const QLabel*>(widget))
            texts << label->text();
        else if (auto* button = qobject_cast<const QAbstractButton*>(widget))
            texts << button->text();
        else if (auto* group = qobject_cast<const QGroupBox*>(widget))
            texts << group->title();
        else if (auto* tabs = qobject_cast<const QTabWidget*>(widget))
            for (int tab = 0; tab < tabs->count(); ++tab)
                texts << tabs->tabText(tab);
        else if (auto* combo = qobject_cast<const QComboBox*>(widget); combo && combo->objectName() != "pageSizeCombo")
            for (int item = 0; item < combo->count(); ++item)
                texts << combo->itemText(item);
    }
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    static const QRegularExpression notLatin(QStringLiteral("[^\\x{0}-\\x{7f}]"));
    QStringList english;
    for (const QString& text : texts)
        if (text != QLatin1String("OK") && !text.startsWith(QLatin1Char('/')) && text.contains(word) && !text.contains(notLatin))
            english << text;
    return english;
}
