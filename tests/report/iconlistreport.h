// A report shaped like the icon list: A4, 10 mm margins, a header with a path, the
// page number and a rule, detail rows of 19 pictures, a footer with a rule and a name.
#pragma once

#include "report/report.h"
#include "report/units.h"

#include <QImage>
#include <QFont>
#include <QString>

#include <vector>

struct IconListReport {
    static constexpr double px = units::kTenthsPerDesignPixel;

    TReport report{nullptr, QLocale(QLocale::Japanese, QLocale::Japan)};
    std::vector<TReportImage*> iconSlots;
    int icons = 0;
    int position = 0;
    // Picture of icon n (1-based); by default the same sample for all.
    std::function<QImage(int)> picture;

    static QRectF Px(double left, double top, double width, double height)
    {
        return {left * px, top * px, width * px, height * px};
    }

    explicit IconListReport(int iconCount) : icons(iconCount)
    {
        report.Font = QFont(QStringLiteral("IPAPGothic"), 9);
        report.ScreenPixelsPerInch = 96;
        auto& header = report.AddBand(btPageHeader, 40 * px, 718 * px);
        header.AddLabel(Px(20, 20, 50, 13), QStringLiteral("/srv/icons")).WordWrap = true;
        auto& page = header.AddSysData(Px(616, 20, 67, 13), sdPageNumber);
        page.Prefix = QStringLiteral("Page:");
        header.AddShape(Px(0, 36, 717, 1));
        auto& detail = report.AddBand(btDetail, 43 * px, 718 * px);
        for (int k = 0; k < 19; ++k)
            iconSlots.push_back(&detail.AddImage(Px(8 + 36 * k, 4, 34, 34)));
        auto& footer = report.AddBand(btPageFooter, 40 * px, 718 * px);
        footer.AddShape(Px(0, 4, 717, 1));
        footer.AddLabel(Px(556, 8, 144, 13), QStringLiteral("Vistrel")).WordWrap = true;

        report.BeforePrint = [this](TReport&, bool&) { position = 0; };
        report.OnNeedData = [this](TReport&, bool& moreData) {
            if (position >= icons) {
                moreData = false;
                return;
            }
            for (TReportImage* slot : iconSlots) {
                ++position;
                slot->Clear();
                if (position <= icons)
                    slot->Picture = picture ? picture(position) : Sample();
            }
            moreData = true;
        };
    }

    // A red square whose top-left quarter is blue.
    static QImage Sample()
    {
        static const QImage image = [] {
            QImage made(34, 34, QImage::Format_RGB32);
            made.fill(QColor(255, 0, 0));
            for (int y = 0; y < 17; ++y)
                for (int x = 0; x < 17; ++x)
                    made.setPixelColor(x, y, QColor(0, 0, 255));
            return made;
        }();
        return image;
    }
};
