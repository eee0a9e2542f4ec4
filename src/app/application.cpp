#include "app/application.h"

#include "app/aboutbox.h"
#include "app/mainform.h"
#include "print/reportform.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QProxyStyle>

void InstallFontSubstitutes()
{
    // Monapo is drawn to the designed gothic's widths (digits half an em wide), so texts
    // laid out for it keep to their room, such as the report header's date and time
    // before "Page:". IPA P Gothic, with wider digits, only stands in where it is missing.
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), {QStringLiteral("Monapo"), QStringLiteral("IPAPGothic")});
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"));
}

namespace {
// Disabled menu entries can be highlighted, so that their hints show as well.
class VistrelStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_Menu_AllowActiveAndDisabled)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
} // namespace

VistrelApplication::VistrelApplication()
{
    QApplication::setStyle(new VistrelStyle);
    QCoreApplication::setApplicationName(QStringLiteral("Vistrel"));
    QApplication::setWindowIcon(QIcon(QPixmap(QStringLiteral(":/vistrel.xpm"))));
    InstallFontSubstitutes();

    mainForm_ = std::make_unique<TMainForm>();
    // The version dialog belongs to the main window, so it is centred over the desktop
    // the window is on and goes away with it.
    aboutBox_ = new TAboutBox(mainForm_.get());
    mainForm_->SetAboutBox(aboutBox_);
    reportForm_ = std::make_unique<TReportForm>(mainForm_->BrowseSession);
    mainForm_->SetReportForm(reportForm_.get());
}

VistrelApplication::~VistrelApplication() = default;

int VistrelApplication::Run()
{
    mainForm_->show();
    return QApplication::exec();
}
