// libFuzzer target for the icon reader: any bytes as a whole file, and as one icon image.
#include "platform/bytesource.h"
#include "platform/dib.h"
#include "platform/exeicons.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // libpng complains about every broken PNG through Qt's warnings: keep the log readable.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    // Every group, as the extraction reads them: a file that makes this slow is a finding.
    // The reader the program uses, over a source in memory instead of a file.
    const SpanSource source(bytes);
    IconReader reader(source);
    const int count = reader.Count();
    for (int i = 0; i < count; ++i) {
        if (const auto icon = reader.Read(i))
            (void)DrawIconBitmap(*icon);
    }
    if (count > 0)
        (void)ReadIcon(bytes, count - 1);
    if (const auto icon = DecodeIconImage(bytes))
        (void)DrawIconBitmap(*icon);
    return 0;
}
