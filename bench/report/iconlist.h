// The icon list's report as the program defines it, fed from bitmap files on disk.
#pragma once

#include "report/report.h"
#include "report/units.h"

#include <QStringList>

#include <vector>

struct BenchIconList {
    static constexpr double px = units::kTenthsPerDesignPixel;

    TReport report{nullptr, QLocale(QLocale::Japanese, QLocale::Japan)};
    std::vector<TReportImage*> images;
    QStringList files;
    int position = 0;

    static QRectF Px(double left, double top, double width, double height)
    {
        return {left * px, top * px, width * px, height * px};
    }

    BenchIconList(const QStringList& bitmapFiles, const QString& folder) : files(bitmapFiles)
    {
        report.Font = QFont(QStringLiteral("IPAPGothic"), 9);
        auto& header = report.AddBand(btPageHeader, 40 * px, 718 * px);
        header.AddLabel(Px(20, 20, 50, 13), folder).WordWrap = true;
        header.AddSysData(Px(492, 20, 63, 13), sdDateTime);
        header.AddLabel(Px(616, 20, 28, 13), QStringLiteral("Page:")).WordWrap = true;
        header.AddSysData(Px(648, 20, 67, 13), sdPageNumber);
        header.AddShape(Px(0, 36, 717, 1));
        auto& detail = report.AddBand(btDetail, 43 * px, 718 * px);
        for (int k = 0; k < 19; ++k)
            images.push_back(&detail.AddImage(Px(8 + 36 * k, 4, 34, 34)));
        auto& footer = report.AddBand(btPageFooter, 40 * px, 718 * px);
        footer.AddShape(Px(0, 4, 717, 1));
        footer.AddLabel(Px(556, 8, 144, 13), QStringLiteral("Vistrel for Windoes98")).WordWrap = true;
        for (const auto& control : header.Controls())
            if (auto* text = dynamic_cast<TReportTextControl*>(control.get()))
                text->FontSize = 9;
        for (const auto& control : footer.Controls())
            if (auto* text = dynamic_cast<TReportTextControl*>(control.get()))
                text->FontSize = 9;

        report.BeforePrint = [this](TReport&, bool&) { position = 0; };
        report.OnNeedData = [this](TReport&, bool& moreData) {
            if (position >= files.size()) {
                moreData = false;
                return;
            }
            for (TReportImage* image : images) {
                ++position;
                image->Clear();
                if (position <= files.size())
                    image->LoadFromFile(files[position - 1]);
            }
            moreData = true;
        };
    }
};
