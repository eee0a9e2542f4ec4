#include "print/reportform.h"

namespace {
// The form's measures are stored in millimetres; the report works in tenths.
QRectF Millimetres(double left, double top, double width, double height)
{
    return {left * 10, top * 10, width * 10, height * 10};
}

TReportLabel& AddLabel(TReportBand& band, const QRectF& bounds, const QString& caption)
{
    TReportLabel& label = band.AddLabel(bounds, caption);
    label.WordWrap = true;
    label.FontSize = 9;
    return label;
}

TReportSysData& AddSysData(TReportBand& band, const QRectF& bounds, TSysDataType kind)
{
    TReportSysData& data = band.AddSysData(bounds, kind);
    data.FontSize = 9;
    return data;
}

QFont FormFont()
{
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    return font;
}
} // namespace

TReportForm::TReportForm(const BrowseState& session, QWidget* parent)
    : QWidget(parent), IconReport(this), session_(session)
{
    setObjectName(QStringLiteral("ReportForm"));
    hide();
    // The report takes the form's font on a Japanese system, so it is set before it is asked.
    setFont(FormFont());
    IconReport.Font = TReport::DefaultFont(this, QLocale::system());
    // Names the print queue's job and the saved PDF; the title stays empty, so the
    // preview's caption stays プレビュー.
    IconReport.JobName = QStringLiteral("Vistrel アイコン一覧");

    IconReport.Page = TPageSetup{}; // A4 portrait, 10 mm margins all round
    IconReport.Options.FirstPageHeader = true;
    IconReport.Options.LastPageFooter = true;
    IconReport.PrintIfEmpty = true;

    const double bandWidth = 1899.7;
    RepBand2 = &IconReport.AddBand(btPageHeader, 105.8, bandWidth);
    RepLabel1 = &AddLabel(*RepBand2, Millimetres(5.29, 5.29, 13.23, 3.44), QString());
    RepSysData1 = &AddSysData(*RepBand2, Millimetres(130.18, 5.29, 16.67, 3.44), sdDateTime);
    RepLabel2 = &AddLabel(*RepBand2, Millimetres(162.98, 5.29, 7.41, 3.44), QStringLiteral("Page:"));
    RepSysData2 = &AddSysData(*RepBand2, Millimetres(171.45, 5.29, 17.73, 3.44), sdPageNumber);
    RepShape1 = &RepBand2->AddShape(Millimetres(0, 9.53, 189.71, 0.26), shRectangle);

    RepBand1 = &IconReport.AddBand(btDetail, 113.8, bandWidth);
    for (int k = 0; k < kIconsPerRow; ++k)
        RepImages[k] = &RepBand1->AddImage(Millimetres(2.12 + 9.525 * k, 1.06, 9.00, 9.00));

    RepBand3 = &IconReport.AddBand(btPageFooter, 105.8, bandWidth);
    RepShape2 = &RepBand3->AddShape(Millimetres(0, 1.06, 189.71, 0.26), shRectangle);
    RepLabel3 = &AddLabel(*RepBand3, Millimetres(147.11, 2.12, 38.10, 3.44), QStringLiteral("Vistrel for Windoes98"));

    IconReport.BeforePrint = [this](TReport& sender, bool& printReport) { IconReportBeforePrint(sender, printReport); };
    IconReport.OnNeedData = [this](TReport& sender, bool& moreData) { IconReportNeedData(sender, moreData); };
}

void TReportForm::IconReportBeforePrint(TReport&, bool&)
{
    ReportPosition = 0;
    RepLabel1->Caption = session_.FolderPath;
}

void TReportForm::IconReportNeedData(TReport&, bool& MoreData)
{
    if (ReportPosition >= session_.IconCount) {
        MoreData = false;
        return;
    }
    for (TReportImage* slot : RepImages) {
        ++ReportPosition;
        slot->Clear(); // never an icon left over from an earlier row or run
        // A bitmap deleted or damaged behind the program's back leaves its slot blank.
        if (ReportPosition <= session_.IconCount)
            slot->LoadFromFile(session_.TempBitmaps[ReportPosition]);
    }
    MoreData = true;
}
