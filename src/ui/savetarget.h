// Which file a save dialog's answer names, and in which of the offered formats it is
// written: the one rule for every save dialog of the program.
#pragma once

#include <QString>
#include <QStringList>

struct SaveTarget {
    QString path;
    int filter = 0; // the index in the offered filters of the format to write
    bool operator==(const SaveTarget&) const = default;
};

// The extensions a filter names: "PNG 画像 (*.png *.PNG)" gives png and PNG.
QStringList FilterExtensions(const QString& filter);

// A typed extension that one of filters names wins, in any case; otherwise the chosen
// filter's first extension is added (x.vrp typed with the PDF filter chosen stays x.vrp;
// x.old becomes x.old.pdf). A chosen filter not among filters counts as the first.
SaveTarget ResolveSaveTarget(const QString& typed, const QStringList& filters, const QString& chosenFilter);
