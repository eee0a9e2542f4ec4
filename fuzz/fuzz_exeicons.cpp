// libFuzzer target for the icon reader: any bytes as a whole file, and as one icon image.
#include "platform/dib.h"
#include "platform/exeicons.h"

#include <QtGlobal>

#include <algorithm>
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
    // Damaged directories may claim up to 65535 groups; a few dozen show every path.
    const int count = std::min(CountIcons(bytes), 64);
    for (int i = 0; i < count; ++i) {
        if (const auto icon = ReadIcon(bytes, i))
            (void)DrawIconBitmap(*icon);
    }
    if (const auto icon = DecodeIconImage(bytes))
        (void)DrawIconBitmap(*icon);
    return 0;
}
