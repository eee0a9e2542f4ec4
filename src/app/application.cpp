#include "app/application.h"

#include "app/aboutbox.h"
#include "app/mainform.h"
#include "app/sessionend.h"
#include "platform/programfolder.h"
#include "print/reportform.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QProxyStyle>
#include <QTimer>

#include <cstring>

void InstallFontSubstitutes()
{
    // Monapo is drawn to the designed gothic's widths (digits half an em wide), so texts
    // laid out for it keep to their room, such as the report header's date and time
    // before "Page:". IPA P Gothic, with wider digits, only stands in where it is missing.
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), {QStringLiteral("Monapo"), QStringLiteral("IPAPGothic")});
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"));
}

namespace {
struct QtText {
    const char* context;
    const char* source;
    const char* japanese;
};

// Texts of Qt 6's print and file dialogs that came after Qt's Japanese catalogue was made.
constexpr QtText kMissingFromCatalogue[] = {
    {"QPrintSettingsOutput", "Pages", "ページ指定"},
    {"QPrintSettingsOutput",
     "Specify pages or ranges separated by commas. Ranges are specified by two numbers separated by a "
     "hyphen. E.g: 3,5-7,9 prints pages 3, 5, 6, 7 and 9.",
     "ページ番号または範囲をカンマで区切って指定します。範囲は 2 つの番号をハイフンでつなぎます。"
     "例: 3,5-7,9 は 3、5、6、7、9 ページを印刷します。"},
    {"QPrintSettingsOutput", "Double Sided Printing", "両面印刷"},
    {"QPrintSettingsOutput", "Off", "しない"},
    {"QPrintSettingsOutput", "Long side binding", "長辺綴じ"},
    {"QPrintSettingsOutput", "Short side binding", "短辺綴じ"},
    {"QPrintPropertiesWidget", "Advanced", "詳細設定"},
    {"QPrintPropertiesWidget", "There are conflicts in some options. Please fix them.",
     "一部のオプションが競合しています。修正してください。"},
    {"QAbstractFileIconProvider", "Folder", "フォルダ"},
    {"QAbstractFileIconProvider", "Drive", "ドライブ"},
};

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

QtJapaneseTexts::QtJapaneseTexts()
{
    // Without the catalogue (qt6-translations-l10n) Qt's texts stay English; the rest works.
    (void)catalogue_.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

QString QtJapaneseTexts::translate(const char* context, const char* sourceText, const char* disambiguation,
                                   int n) const
{
    const QString text = catalogue_.translate(context, sourceText, disambiguation, n);
    if (!text.isEmpty())
        return text;
    for (const QtText& missing : kMissingFromCatalogue)
        if (std::strcmp(missing.context, context) == 0 && std::strcmp(missing.source, sourceText) == 0)
            return QString::fromUtf8(missing.japanese);
    return QString();
}

VistrelApplication::VistrelApplication()
{
    QCoreApplication::installTranslator(&qtTexts_);
    // What Qt names by the default locale, the file dialogs' type names among them, is
    // Japanese too; the printed list keeps the system's date and time.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
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

int VistrelApplication::Run(const QByteArray& folder)
{
    // Held until the window has closed, so that another window's bitmaps go elsewhere.
    const TempFolderLock tempFolder;
    // Ended from outside: by a signal, as 終了 ends it; by a lost display, the bitmaps
    // still go.
    const BitmapsDeletedAtExit bitmaps(TempFolder(), tempFolder.IsPrivate());
    SessionEndSignals endSignals;
    QObject::connect(&endSignals, &SessionEndSignals::requested, mainForm_.get(), &TMainForm::EndSession);
    mainForm_->show();
    // The keys come to the window at once, also where no window manager hands them over.
    mainForm_->activateWindow();
    // Once the loop runs, so that the window is on screen while the folder is read.
    if (!folder.isEmpty())
        QTimer::singleShot(0, mainForm_.get(), [this, folder] { mainForm_->OpenFolder(folder); });
    return QApplication::exec();
}
