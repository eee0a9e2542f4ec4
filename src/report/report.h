// A banded report: page set-up, options, bands with their controls, and the two
// callbacks that drive a run. Plain data; no widgets are involved here.
#pragma once

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QImage>
#include <QLocale>
#include <QPointer>
#include <QWidget>
#include <QPageLayout>
#include <QPageSize>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;
class TReport;

enum TBandType { btPageHeader, btDetail, btPageFooter };
enum TSysDataType { sdDateTime, sdPageNumber };
enum TShapeType { shRectangle };
enum TTextAlignment { taLeftJustify, taRightJustify, taCenter };

// All lengths in tenths of a millimetre.
struct TPageSetup {
    QPageSize::PageSizeId paperSize = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    double pageLength = 2970;
    double pageWidth = 2100;
    double topMargin = 100;
    double bottomMargin = 100;
    double leftMargin = 100;
    double rightMargin = 100;
    // Kept for the definition's sake; the run lays out one column.
    int columns = 1;
    double columnSpacing = 0;

    // Turning the paper swaps its length and width.
    void SetOrientation(QPageLayout::Orientation value);
};

struct TReportOptions {
    bool FirstPageHeader = true;
    bool LastPageFooter = true;
};

struct TPrinterSettings {
    int copies = 1;
    // Unset: the printer's own default (the user's, else the driver's).
    std::optional<bool> duplex;
    // 0 and 0 print every page.
    int firstPage = 0;
    int lastPage = 0;
    // 0: the printer picks the bin.
    int paperBin = 0;
    // Empty: the system's default printer.
    QString printerName;
    // When set, the pages go to this PDF file instead of a printer.
    QString outputFileName;
};

class TReportControl {
public:
    explicit TReportControl(const QRectF& bounds) : Bounds(bounds) {}
    virtual ~TReportControl() = default;
    TReportControl(const TReportControl&) = delete;
    TReportControl& operator=(const TReportControl&) = delete;

    QString Name;
    // Left, top, width and height inside the band.
    QRectF Bounds;
    bool Enabled = true;
};

class TReportTextControl : public TReportControl {
public:
    using TReportControl::TReportControl;

    TTextAlignment Alignment = taLeftJustify;
    bool AutoSize = true;
    bool WordWrap = false;
    // 0 takes the report font's size.
    double FontSize = 0;
    QColor FontColor = Qt::black;
    QColor Color = Qt::white;
    bool Transparent = false;
};

class TReportLabel : public TReportTextControl {
public:
    using TReportTextControl::TReportTextControl;
    QString Caption;
};

class TReportSysData : public TReportTextControl {
public:
    TReportSysData(const QRectF& bounds, TSysDataType kind) : TReportTextControl(bounds), Kind(kind) {}
    TSysDataType Kind;
    QString Prefix;
};

class TReportImage : public TReportControl {
public:
    using TReportControl::TReportControl;

    // False, with the picture cleared, when the file can't be read as an image.
    bool LoadFromFile(const QString& path);
    void Clear() { Picture = QImage(); }

    QImage Picture;
    bool Stretch = false;
    bool Center = false;
};

class TReportShape : public TReportControl {
public:
    TReportShape(const QRectF& bounds, TShapeType kind) : TReportControl(bounds), Kind(kind) {}
    TShapeType Kind;
    QColor PenColor = Qt::black;
    Qt::PenStyle PenStyle = Qt::SolidLine;
    // In design pixels, like the rest of the form.
    double PenWidth = 1;
    QColor BrushColor = Qt::white;
    Qt::BrushStyle BrushStyle = Qt::SolidPattern;
};

class TReportBand {
public:
    TReportBand(TBandType kind, double height, double width) : Kind(kind), Height(height), Width(width) {}
    TReportBand(const TReportBand&) = delete;
    TReportBand& operator=(const TReportBand&) = delete;

    TReportLabel& AddLabel(const QRectF& bounds, const QString& caption = {});
    TReportSysData& AddSysData(const QRectF& bounds, TSysDataType kind);
    TReportImage& AddImage(const QRectF& bounds);
    TReportShape& AddShape(const QRectF& bounds, TShapeType kind = shRectangle);

    // In the order they were added, which is the order they are drawn in.
    const std::vector<std::unique_ptr<TReportControl>>& Controls() const { return controls_; }

    TBandType Kind;
    double Height;
    double Width;
    bool Enabled = true;
    QColor Color = Qt::white;

private:
    template <typename Control, typename... Arguments>
    Control& Add(Arguments&&... arguments);

    std::vector<std::unique_ptr<TReportControl>> controls_;
};

class TReport {
public:
    // The font comes from the form that holds the report on a Japanese system, and is
    // "Arial" 10 pt anywhere else.
    explicit TReport(const QWidget* form = nullptr);
    TReport(const QWidget* form, const QLocale& systemLocale);
    ~TReport();
    TReport(const TReport&) = delete;
    TReport& operator=(const TReport&) = delete;

    static QFont DefaultFont(const QWidget* form, const QLocale& systemLocale);

    TReportBand& AddBand(TBandType kind, double height);
    TReportBand& AddBand(TBandType kind, double height, double width);
    const std::vector<std::unique_ptr<TReportBand>>& Bands() const { return bands_; }

    // Runs the report into the preview window and returns when that window has
    // closed, or at once when the run was cancelled. Does nothing while this
    // report's preview is already showing.
    void Preview();
    bool PreviewShowing() const { return previewShowing_; }

    TPageSetup Page;
    TReportOptions Options;
    // Only a report without a need-data callback looks at this: it then prints its
    // detail bands once.
    bool PrintIfEmpty = false;
    bool ShowProgress = true;
    QString Title;
    // The name of the print job and of a saved PDF (DocumentName()), which the title
    // and the preview's caption need not give.
    QString JobName;
    // The window the preview belongs to: kept above it by a window manager, and on its
    // screen. The window active when the preview opens, when not set.
    QPointer<QWidget> Owner;
    TPrinterSettings PrinterSettings;
    QFont Font;

    // Called once at the start of every run; setting PrintReport to false stops it.
    std::function<void(TReport& sender, bool& PrintReport)> BeforePrint;
    // Called before every detail record; MoreData comes preset and the callback says
    // whether there is a record.
    std::function<void(TReport& sender, bool& MoreData)> OnNeedData;

    // Where the date-time data take their values and how they are written.
    std::function<QDateTime()> Clock;
    QLocale Locale = QLocale::system();
    // The screen resolution that gives unstretched pictures their size; 0 asks the
    // primary screen (96 when there is none).
    double ScreenPixelsPerInch = 0;

private:
    std::vector<std::unique_ptr<TReportBand>> bands_;
    bool previewShowing_ = false;
    friend class PreviewShowingGuard;
};

// What names the report's print job and its PDF: JobName, else the title, else "Vistrel".
QString DocumentName(const TReport& report);
