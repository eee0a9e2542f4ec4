#include "app/aboutbox.h"

#include "ui/formfont.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {
QFont MinchoBoldItalic()
{
    QFont font(QStringLiteral("ＭＳ Ｐ明朝"));
    font.setPixelSize(24);
    font.setBold(true);
    font.setItalic(true);
    return font;
}
} // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFixedSize(298, 213);
    QFont font(FormFontFamily());
    font.setPixelSize(13);
    setFont(font);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    panel->setLineWidth(1);
    panel->setGeometry(8, 8, 281, 161);

    auto* programIcon = new QLabel(panel);
    programIcon->setObjectName(QStringLiteral("ProgramIcon"));
    programIcon->setGeometry(12, 17, 32, 32);
    programIcon->setPixmap(QPixmap(QStringLiteral(":/vistrel.xpm")));

    auto* productName = new QLabel(QStringLiteral("Vistrel"), panel);
    productName->setObjectName(QStringLiteral("ProductName"));
    productName->setFont(MinchoBoldItalic());
    QPalette black = productName->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    productName->setPalette(black);
    productName->move(57, 18);
    productName->adjustSize();

    auto* version = new QLabel(QStringLiteral("Version 1.0"), panel);
    version->setObjectName(QStringLiteral("Version"));
    version->setFont(MinchoBoldItalic());
    version->setGeometry(121, 43, 148, 24);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 180, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent* event)
{
    // Centred on the screen each time it is shown.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    move(screen.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    QDialog::showEvent(event);
}
