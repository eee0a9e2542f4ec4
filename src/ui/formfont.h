// The font the window and its forms are designed in.
#pragma once

#include <QFont>
#include <QString>

// The family's name as the forms give it; InstallFontSubstitutes says what stands in for
// it on Linux.
QString FormFontFamily();

// The forms' font: that family at 12 pixels.
QFont FormFont();
