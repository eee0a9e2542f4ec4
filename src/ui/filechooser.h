// The file dialog every window uses: Qt's own, in Japanese whatever the system's locale.
#pragma once

#include <QString>

class QWidget;

enum class FileChoice { Open, Save };

// A modal file dialog over owner, starting at start (a folder, or a file name to suggest
// in it; empty: the working folder) with filters ("Name (*.ext);;..."); selectedFilter
// picks the filter shown first and comes back as the one chosen. The chosen path, or
// empty text when the user cancelled. Saving over a file asks first.
QString ChooseFileName(QWidget* owner, const QString& caption, const QString& start, const QString& filters,
                       QString* selectedFilter, FileChoice choice);
