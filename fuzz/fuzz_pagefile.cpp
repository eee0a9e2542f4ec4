// libFuzzer target for the page-file reader: any bytes as a file given to レポート読み込み,
// and the pages it reads drawn as the preview draws them.
#include "report/pagefile.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // libpng complains about every broken PNG through Qt's warnings: keep the log readable.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    // Texts need fonts, and fonts an application; no screen is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_pagefile";
    static char* argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto pages = pagefile::Parse(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!pages)
        return 0;
    // A small page, as the preview shows one at a low zoom.
    QImage canvas(60, 85, QImage::Format_RGB32);
    QPainter painter(&canvas);
    for (const ReportPage& page : pages->pages)
        DrawPage(painter, page, pages->paperSize, QRectF(canvas.rect()));
    return 0;
}
