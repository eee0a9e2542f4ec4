#include "ui/savetarget.h"

#include <QFileInfo>
#include <QRegularExpression>

QStringList FilterExtensions(const QString& filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([^\\s)]+)"));
    QStringList extensions;
    for (const QRegularExpressionMatch& match : pattern.globalMatch(filter))
        extensions << match.captured(1);
    return extensions;
}

SaveTarget ResolveSaveTarget(const QString& typed, const QStringList& filters, const QString& chosenFilter)
{
    const QString suffix = QFileInfo(typed).suffix();
    if (!suffix.isEmpty())
        for (int k = 0; k < filters.size(); ++k)
            if (FilterExtensions(filters[k]).contains(suffix, Qt::CaseInsensitive))
                return {typed, k};
    const int chosen = int(std::max<qsizetype>(filters.indexOf(chosenFilter), 0));
    const QStringList extensions = filters.isEmpty() ? QStringList() : FilterExtensions(filters[chosen]);
    return {extensions.isEmpty() ? typed : typed + QLatin1Char('.') + extensions.constFirst(), chosen};
}
