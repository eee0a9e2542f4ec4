#include "ui/formfont.h"

QString FormFontFamily()
{
    return QStringLiteral("ＭＳ Ｐゴシック");
}

QFont FormFont()
{
    QFont font(FormFontFamily());
    font.setPixelSize(12);
    return font;
}
