// The icon reader and renderer against real mingw-w64 executables, an NE file assembled
// here, icon images built here, damaged files, and icoutils as an outside opinion.
#include "icon/datafile.h"
#include "icon/tst_exeicons_pattern.h"
#include "icon/bytesource.h"
#include "platform/bitmapfile.h"
#include "icon/iconexport.h"
#include "icon/exeicons.h"
#include "skipunlessci.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kData = QStringLiteral(VISTREL_TEST_DATA);

QImage Drawn(const QByteArray& file, int index)
{
    const auto icon = ReadIcon(Span(file), index);
    return icon ? DrawIconBitmap(*icon) : QImage();
}

template <typename T>
void Put(QByteArray& bytes, qsizetype at, T value)
{
    if (bytes.size() < at + qsizetype(sizeof(T)))
        bytes.resize(at + qsizetype(sizeof(T)), '\0');
    qToLittleEndian(value, bytes.data() + at);
}

template <typename T>
void Append(QByteArray& bytes, T value)
{
    Put(bytes, bytes.size(), value);
}

// A DIB of a solid colour with an empty mask, bottom-up, in the given depth (16, 24, 32).
QByteArray SolidDib(int width, int height, int bitCount, std::uint32_t pixel)
{
    QByteArray dib;
    for (std::uint32_t v : {40u, std::uint32_t(width), std::uint32_t(height * 2)})
        Append(dib, v);
    Append<std::uint16_t>(dib, 1);
    Append<std::uint16_t>(dib, std::uint16_t(bitCount));
    for (int i = 0; i < 6; ++i)
        Append<std::uint32_t>(dib, 0);
    const int stride = (width * bitCount + 31) / 32 * 4;
    for (int y = 0; y < height; ++y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < width; ++x)
            for (int b = 0; b < bitCount / 8; ++b)
                row[x * bitCount / 8 + b] = char(pixel >> (8 * b));
        dib += row;
    }
    dib += QByteArray((width + 31) / 32 * 4 * height, '\0');
    return dib;
}

struct Entry {
    int Width;  // 256 is written as 0
    int Height;
    int BitCount;
};

// An icon file whose image i is solid colour 0x10 * (i + 1) in blue, at the size its
// entry declares; the entry's bit count is what the entry says, the image is 24-bit.
QByteArray IconFile(const QList<Entry>& entries)
{
    QByteArray header;
    QByteArray body;
    Append<std::uint16_t>(header, 0);
    Append<std::uint16_t>(header, 1);
    Append<std::uint16_t>(header, std::uint16_t(entries.size()));
    const int dataStart = 6 + 16 * int(entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const QByteArray dib = SolidDib(e.Width, e.Height, 24, std::uint32_t(0x10 * (i + 1)));
        Append<std::uint8_t>(header, std::uint8_t(e.Width & 255));
        Append<std::uint8_t>(header, std::uint8_t(e.Height & 255));
        Append<std::uint16_t>(header, 0);
        Append<std::uint16_t>(header, 1);
        Append<std::uint16_t>(header, std::uint16_t(e.BitCount));
        Append<std::uint32_t>(header, std::uint32_t(dib.size()));
        Append<std::uint32_t>(header, std::uint32_t(dataStart + body.size()));
        body += dib;
    }
    return header + body;
}

// Names `wrestool -l -t14` lists, each once however many languages it has.
QSet<QString> WrestoolGroups(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("wrestool"), {QStringLiteral("-l"), QStringLiteral("-t14"), path});
    process.waitForFinished(30000);
    QSet<QString> names;
    static const QRegularExpression name(QStringLiteral("--name=(\\S+)"));
    for (const QString& line : QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n')))
        if (const auto match = name.match(line); match.hasMatch())
            names.insert(match.captured(1));
    return names;
}

bool HaveIcoutils()
{
    return !QStandardPaths::findExecutable(QStringLiteral("wrestool")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("icotool")).isEmpty();
}

// A 16-bit NE file with the images of icons as resources: group g holds the images
// groups[g] (indexes into images), integer ids throughout, 16-byte alignment.
QByteArray NeFile(const QList<QByteArray>& images, const QList<QList<int>>& groups)
{
    constexpr int kNe = 0x40;
    constexpr int kTable = 0x40; // from the NE header
    constexpr int kShift = 4;
    QByteArray file(kNe + 0x40, '\0');
    Put<std::uint16_t>(file, 0, 0x5A4D);
    Put<std::uint32_t>(file, 0x3C, kNe);
    Put<std::uint16_t>(file, kNe, 0x454E);
    // The table: shift, the group block, the icon block, the end; then the resident names.
    const int tableSize = 2 + 8 + 12 * int(groups.size()) + 8 + 12 * int(images.size()) + 2;
    Put<std::uint16_t>(file, kNe + 0x24, kTable);
    Put<std::uint16_t>(file, kNe + 0x26, std::uint16_t(kTable + tableSize));
    QByteArray table;
    Append<std::uint16_t>(table, kShift);
    auto pad = [](QByteArray& data) { data += QByteArray((16 - data.size() % 16) % 16, '\0'); };
    QByteArray data;
    const int dataStart = (kNe + kTable + tableSize + 2 + 15) / 16 * 16;
    auto block = [&](std::uint16_t type, const QList<QByteArray>& items) {
        Append<std::uint16_t>(table, type);
        Append<std::uint16_t>(table, std::uint16_t(items.size()));
        Append<std::uint32_t>(table, 0);
        for (int i = 0; i < items.size(); ++i) {
            Append<std::uint16_t>(table, std::uint16_t((dataStart + data.size()) >> kShift));
            Append<std::uint16_t>(table, std::uint16_t((items[i].size() + 15) >> kShift));
            Append<std::uint16_t>(table, 0x1C30);
            Append<std::uint16_t>(table, std::uint16_t(0x8000 | (i + 1)));
            Append<std::uint32_t>(table, 0);
            data += items[i];
            pad(data);
        }
    };
    QList<QByteArray> groupData;
    for (const QList<int>& group : groups) {
        QByteArray g;
        Append<std::uint16_t>(g, 0);
        Append<std::uint16_t>(g, 1);
        Append<std::uint16_t>(g, std::uint16_t(group.size()));
        for (int image : group) {
            // Width, height and depth straight from the image's header.
            const QByteArray& dib = images[image];
            const auto width = qFromLittleEndian<std::int32_t>(dib.constData() + 4);
            const auto height = qFromLittleEndian<std::int32_t>(dib.constData() + 8) / 2;
            const auto bits = qFromLittleEndian<std::uint16_t>(dib.constData() + 14);
            Append<std::uint8_t>(g, std::uint8_t(width));
            Append<std::uint8_t>(g, std::uint8_t(height));
            Append<std::uint8_t>(g, bits < 8 ? std::uint8_t(1 << bits) : 0);
            Append<std::uint8_t>(g, 0);
            Append<std::uint16_t>(g, 1);
            Append<std::uint16_t>(g, bits);
            Append<std::uint32_t>(g, std::uint32_t(dib.size()));
            Append<std::uint16_t>(g, std::uint16_t(image + 1));
        }
        groupData << g;
    }
    block(0x800E, groupData);
    block(0x8003, images);
    Append<std::uint16_t>(table, 0);
    file += table;
    Append<std::uint16_t>(file, 0); // empty resident names table
    file.resize(dataStart, '\0');
    return file + data;
}

// The images of an icon file, in its order.
QList<QByteArray> ImagesOf(const QByteArray& ico)
{
    QList<QByteArray> images;
    const int count = qFromLittleEndian<std::uint16_t>(ico.constData() + 4);
    for (int i = 0; i < count; ++i) {
        const char* e = ico.constData() + 6 + 16 * i;
        images << ico.mid(qFromLittleEndian<std::uint32_t>(e + 12), qFromLittleEndian<std::uint32_t>(e + 8));
    }
    return images;
}
} // namespace

class TestExeIcons : public QObject {
    Q_OBJECT

private slots:
    void drawsThePatterns_data();
    void drawsThePatterns();
    void countsLikeWrestool_data();
    void countsLikeWrestool();
    void drawsLikeIcotool_data();
    void drawsLikeIcotool();
    void choosesTheImageForTheLargeIcon_data();
    void choosesTheImageForTheLargeIcon();
    void decodesDibs_data();
    void decodesDibs();
    void readsNeFiles();
    void survivesDamagedFiles_data();
    void survivesDamagedFiles();
    void survivesTruncationAnywhere();
    void readsOnlyRegularFiles();
    void choosesTheThumbnailImage();
    void exportsLikeIcoutils();
};

void TestExeIcons::drawsThePatterns_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("index");
    QTest::addColumn<IconPattern>("pattern");
    auto row = [](const char* name, const char* file, int index, IconPattern p) {
        QTest::newRow(name) << QString::fromLatin1(file) << index << p;
    };
    // Named groups first (in name order), then numbered ones.
    row("pe32 alpha 32x32x32", "icons.exe", 0, {32, 32, 32, 8, true});
    row("pe32 masked colour inverts", "icons.exe", 1, {32, 32, 4, 17, false, true});
    row("pe32 16x16x32 without alpha", "icons.exe", 2, {16, 16, 32, 13});
    row("pe32 png 256 only", "icons.exe", 3, {256, 256, 32, 14, false, false, true});
    row("pe32 1 bpp", "icons.exe", 4, {32, 32, 1, 10});
    row("pe32 24 bpp among 4 and 8", "icons.exe", 5, {32, 32, 24, 4});
    row("pe32 tie: first, 48 scaled", "icons.exe", 6, {48, 48, 8, 11});
    row("pe32 first language", "icons.exe", 7, {32, 32, 8, 15});
    row("pe32+ 16x16 scaled", "icons64.dll", 0, {16, 16, 24, 20});
    row("pe32+ alpha", "icons64.dll", 1, {32, 32, 32, 8, true});
    row("pe32+ 32 before 64", "icons64.dll", 2, {32, 32, 24, 18});
    row("icon file", "sizes.ico", 0, {32, 32, 24, 4});
    row("icon file named dll", "damaged/renamed-icon.dll", 0, {32, 32, 24, 4});
}

void TestExeIcons::drawsThePatterns()
{
    QFETCH(QString, file);
    QFETCH(int, index);
    QFETCH(IconPattern, pattern);
    const QImage drawn = Drawn(Contents(kData + QLatin1Char('/') + file), index);
    QVERIFY(!drawn.isNull());
    const QString difference = FirstDifference(drawn, ExpectedBitmap(pattern));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestExeIcons::countsLikeWrestool_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("drawable");
    QTest::newRow("pe32") << QStringLiteral("icons.exe") << 8; // one group's image is missing
    QTest::newRow("pe32+") << QStringLiteral("icons64.dll") << 3;
    QTest::newRow("resources, no icons") << QStringLiteral("notes.exe") << 0;
    QTest::newRow("no resources") << QStringLiteral("noresources.exe") << 0;
}

void TestExeIcons::countsLikeWrestool()
{
    QFETCH(QString, file);
    QFETCH(int, drawable);
    if (!HaveIcoutils())
        VISTREL_SKIP("icoutils is not installed");
    const QString path = kData + QLatin1Char('/') + file;
    const QByteArray bytes = Contents(path);
    const int count = CountIcons(Span(bytes));
    QCOMPARE(count, WrestoolGroups(path).size());
    int drawn = 0;
    for (int i = 0; i < count; ++i)
        drawn += ReadIcon(Span(bytes), i).has_value();
    QCOMPARE(drawn, drawable);
}

void TestExeIcons::drawsLikeIcotool_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("bitCount");
    QTest::addColumn<int>("index");
    QTest::newRow("32-bit alpha") << QStringLiteral("icons.exe") << QStringLiteral("APPICON") << 32 << 0;
    QTest::newRow("1 bpp") << QStringLiteral("icons.exe") << QStringLiteral("ZMONO") << 1 << 4;
    QTest::newRow("24 bpp with its mask") << QStringLiteral("icons.exe") << QStringLiteral("1") << 24 << 5;
    QTest::newRow("8 bpp") << QStringLiteral("icons.exe") << QStringLiteral("20") << 8 << 7;
    QTest::newRow("pe32+ 24 bpp") << QStringLiteral("icons64.dll") << QStringLiteral("5") << 24 << 2;
}

// icoutils turns the 32x32 image into a PNG with the mask as alpha; over white that is
// what the program must draw where no masked pixel has colour.
void TestExeIcons::drawsLikeIcotool()
{
    QFETCH(QString, file);
    QFETCH(QString, group);
    QFETCH(int, bitCount);
    QFETCH(int, index);
    if (!HaveIcoutils())
        VISTREL_SKIP("icoutils is not installed");
    QTemporaryDir dir;
    const QString path = kData + QLatin1Char('/') + file;
    const QString ico = dir.filePath(QStringLiteral("group.ico"));
    QCOMPARE(QProcess::execute(QStringLiteral("wrestool"),
                               {QStringLiteral("-x"), QStringLiteral("-t14"), QStringLiteral("-n"), group,
                                QStringLiteral("--language=1033"),
                                QStringLiteral("-o"), ico, path}), 0);
    QCOMPARE(QProcess::execute(QStringLiteral("icotool"),
                               {QStringLiteral("-x"), QStringLiteral("-w"), QStringLiteral("32"),
                                QStringLiteral("-b"), QString::number(bitCount), QStringLiteral("-o"),
                                dir.path(), ico}), 0);
    const QStringList pngs = QDir(dir.path()).entryList({QStringLiteral("*.png")});
    QCOMPARE(pngs.size(), 1);
    const QImage png = QImage(dir.filePath(pngs.first())).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(png.size(), QSize(32, 32));
    QImage expected(34, 34, QImage::Format_RGB32);
    expected.fill(0xFFFFFFFFu);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            expected.setPixel(x + 1, y + 1, OverWhite(png.pixel(x, y) & 0xFFFFFFu, qAlpha(png.pixel(x, y))));
    const QString difference = FirstDifference(Drawn(Contents(path), index), expected);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestExeIcons::choosesTheImageForTheLargeIcon_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<int>("chosen");
    QTest::newRow("32x32 over 16 and 48") << QList<Entry>{{16, 16, 8}, {48, 48, 8}, {32, 32, 8}} << 2;
    QTest::newRow("equally far: the first") << QList<Entry>{{48, 48, 32}, {16, 16, 32}} << 0;
    QTest::newRow("depth nearest 32") << QList<Entry>{{32, 32, 4}, {32, 32, 8}, {32, 32, 24}, {32, 32, 1}} << 2;
    QTest::newRow("depth tie: the first") << QList<Entry>{{32, 32, 16}, {32, 32, 48}} << 0;
    QTest::newRow("width 0 means 256") << QList<Entry>{{256, 256, 32}, {200, 200, 32}} << 1;
    QTest::newRow("the first nearest fixes the split")
        << QList<Entry>{{40, 32, 8}, {32, 40, 32}, {24, 32, 24}, {40, 32, 32}} << 3;
    QTest::newRow("a nearer size beats a better depth") << QList<Entry>{{48, 48, 32}, {32, 32, 4}} << 1;
}

void TestExeIcons::choosesTheImageForTheLargeIcon()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(int, chosen);
    const QByteArray file = IconFile(entries);
    QCOMPARE(CountIcons(Span(file)), 1);
    const QImage drawn = Drawn(file, 0);
    QVERIFY(!drawn.isNull());
    QCOMPARE(drawn.pixel(16, 16) & 0xFFFFFFu, std::uint32_t(0x10 * (chosen + 1)));
}

void TestExeIcons::decodesDibs_data()
{
    QTest::addColumn<QByteArray>("dib");
    QTest::addColumn<bool>("decodes");
    // The pixel at (1, 1) of the 34x34 bitmap.
    QTest::addColumn<uint>("corner");

    const QByteArray rgb = SolidDib(32, 32, 24, 0x336699);
    const int maskBytes = 4 * 32;
    QTest::newRow("24 bpp") << rgb << true << 0xFF336699u;
    QByteArray masked = rgb;
    masked[masked.size() - maskBytes] = char(0x80); // mask row 0 is the bottom row
    masked[masked.size() - 4] = char(0x80);         // the top row's first pixel
    QTest::newRow("masked colour inverts white") << masked << true << (0xFF000000u | (0xFFFFFFu ^ 0x336699u));
    QByteArray noMask = masked;
    noMask.chop(1);
    QTest::newRow("cut mask: opaque") << noMask << true << 0xFF336699u;
    QTest::newRow("cut colours: nothing") << rgb.left(40 + 32 * 96 - 1) << false << 0u;
    QByteArray v5 = rgb;
    Put<std::uint32_t>(v5, 0, 124);
    QTest::newRow("v5 header") << v5 << false << 0u;
    QByteArray v4 = rgb;
    Put<std::uint32_t>(v4, 0, 108);
    QTest::newRow("v4 header") << v4 << false << 0u;
    QByteArray rle = rgb;
    Put<std::uint32_t>(rle, 16, 1);
    QTest::newRow("compressed") << rle << false << 0u;
    QByteArray topDown = rgb;
    Put<std::int32_t>(topDown, 8, -64);
    QTest::newRow("negative height") << topDown << false << 0u;

    QTest::newRow("16 bpp 5-5-5") << SolidDib(32, 32, 16, 0x4210) << true << 0xFF848484u;
    QByteArray bitfields = SolidDib(32, 32, 16, 0xF800);
    Put<std::uint32_t>(bitfields, 16, 3);
    QByteArray masks;
    for (std::uint32_t m : {0xF800u, 0x07E0u, 0x001Fu})
        Append(masks, m);
    bitfields.insert(40, masks);
    QTest::newRow("16 bpp bit fields 5-6-5") << bitfields << true << 0xFFFF0000u;

    // Alpha anywhere makes the whole image blend: alpha 0 elsewhere shows white.
    QByteArray oneAlpha = SolidDib(32, 32, 32, 0x00102030);
    oneAlpha[40 + 3] = char(0x80);
    QTest::newRow("32 bpp, one alpha byte") << oneAlpha << true << 0xFFFFFFFFu;
    QTest::newRow("32 bpp half alpha black")
        << SolidDib(32, 32, 32, 0x80000000) << true << 0xFF7F7F7Fu;
    QTest::newRow("32 bpp no alpha: opaque") << SolidDib(32, 32, 32, 0x00102030) << true << 0xFF102030u;

    // A core header with a two-colour palette of RGB triples, 1 bpp, all pixels 1.
    QByteArray core;
    Append<std::uint32_t>(core, 12);
    Append<std::uint16_t>(core, 32);
    Append<std::uint16_t>(core, 64);
    Append<std::uint16_t>(core, 1);
    Append<std::uint16_t>(core, 1);
    core += QByteArray::fromHex("000000" "563412");
    core += QByteArray(4 * 32, char(0xFF)) + QByteArray(4 * 32, '\0');
    QTest::newRow("core header") << core << true << 0xFF123456u;
}

void TestExeIcons::decodesDibs()
{
    QFETCH(QByteArray, dib);
    QFETCH(bool, decodes);
    QFETCH(uint, corner);
    const auto icon = DecodeIconImage(Span(dib));
    QCOMPARE(icon.has_value(), decodes);
    if (icon)
        QCOMPARE(DrawIconBitmap(*icon).pixel(1, 1), corner);
}

void TestExeIcons::readsNeFiles()
{
    const QList<QByteArray> images = ImagesOf(Contents(kData + QStringLiteral("/sizes.ico")));
    QCOMPARE(images.size(), 6);
    // Group 1: every image but the PNG; group 2: the 16x16 4-bit one alone.
    const QByteArray ne = NeFile(images.mid(0, 5), {{0, 1, 2, 3, 4}, {0}});
    QCOMPARE(CountIcons(Span(ne)), 2);
    QString difference = FirstDifference(Drawn(ne, 0), ExpectedBitmap({32, 32, 24, 4}));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    difference = FirstDifference(Drawn(ne, 1), ExpectedBitmap({16, 16, 4, 1}));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QVERIFY(!ReadIcon(Span(ne), 2));

    // A damaged table: empty type blocks for a megabyte, then a group. The table can't
    // reach past 64 KB from the header, so the walk stops there, after few reads.
    QByteArray chain(0x80, '\0');
    Put<std::uint16_t>(chain, 0, 0x5A4D);
    Put<std::uint32_t>(chain, 0x3C, 0x40);
    Put<std::uint16_t>(chain, 0x40, 0x454E);
    Put<std::uint16_t>(chain, 0x40 + 0x24, 0x40);
    Put<std::uint16_t>(chain, 0x40 + 0x26, 0x42);
    Append<std::uint16_t>(chain, 4);
    for (int i = 0; i < (1 << 20) / 8; ++i) {
        Append<std::uint16_t>(chain, 0x8001);
        Append<std::uint16_t>(chain, 0);
        Append<std::uint32_t>(chain, 0);
    }
    for (std::uint16_t field : {0x800E, 1, 0, 0, 0x10, 1, 0x1C30, 0x8001, 0, 0, 0})
        Append<std::uint16_t>(chain, field);
    struct CountingSource final : ByteSource {
        explicit CountingSource(const QByteArray& bytes) : inner(Span(bytes)) {}
        std::uint64_t Size() const override { return inner.Size(); }
        bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
        {
            ++reads;
            return inner.ReadAt(offset, out);
        }
        SpanSource inner;
        mutable int reads = 0;
    } counting(chain);
    QCOMPARE(IconReader(counting).Count(), 0);
    QVERIFY2(counting.reads < 10000, qPrintable(QString::number(counting.reads)));

    if (!HaveIcoutils())
        VISTREL_SKIP("icoutils is not installed");
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("old.exe")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ne);
    file.close();
    QCOMPARE(WrestoolGroups(file.fileName()).size(), 2);
}

void TestExeIcons::survivesDamagedFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("minimumCount");
    QTest::addColumn<int>("drawable");
    QTest::newRow("type directory is the root") << QStringLiteral("loop-type-root.dll") << 1 << 0;
    QTest::newRow("name directory is itself") << QStringLiteral("loop-name-self.dll") << 9 << 7;
    QTest::newRow("RVAs outside every section") << QStringLiteral("rva-outside.dll") << 9 << 0;
    QTest::newRow("65535 entries") << QStringLiteral("count65535.dll") << 9 << 8;
    QTest::newRow("4 GB sizes") << QStringLiteral("size4gb.dll") << 9 << 0;
    // Found by fuzzing: tens of thousands of group entries read for every group.
    QTest::newRow("many entries per group") << QStringLiteral("many-groups-one-image.dll") << 9 << 0;
    QTest::newRow("e_lfanew outside") << QStringLiteral("lfanew-outside.exe") << 0 << 0;
    QTest::newRow("empty") << QStringLiteral("empty.dll") << 0 << 0;
    QTest::newRow("text") << QStringLiteral("text.exe") << 0 << 0;
}

void TestExeIcons::survivesDamagedFiles()
{
    QFETCH(QString, file);
    QFETCH(int, minimumCount);
    QFETCH(int, drawable);
    const FileSource source(QFile::encodeName(kData + QStringLiteral("/damaged/") + file).constData());
    IconReader reader(source);
    const int count = reader.Count();
    QVERIFY2(count >= minimumCount && count <= 65535, qPrintable(QString::number(count)));
    int drawn = 0;
    for (int i = 0; i < count; ++i)
        drawn += reader.Read(i).has_value();
    QCOMPARE(drawn, drawable);
}

// Every prefix through the headers and the resource directories, and a spread of the
// rest: no crash, and never an icon more than the whole file has.
void TestExeIcons::survivesTruncationAnywhere()
{
    const QByteArray whole = Contents(kData + QStringLiteral("/icons.exe"));
    for (qsizetype length = 0; length < whole.size(); length += length < 0x1200 ? 1 : 61) {
        const QByteArray part = whole.left(length);
        const int count = CountIcons(Span(part));
        QVERIFY(count <= 9);
        int drawn = 0;
        for (int i = 0; i < count; ++i)
            drawn += ReadIcon(Span(part), i).has_value();
        QVERIFY(drawn <= 8);
    }
}

void TestExeIcons::readsOnlyRegularFiles()
{
    QTemporaryDir dir;
    const auto source = [&](const char* name) { return FileSource(QFile::encodeName(dir.filePath(QLatin1String(name))).constData()); };
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("x.exe"))).constData(), 0600), 0);
    QCOMPARE(source("x.exe").Size(), 0u); // returns, no writer needed
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("y.dll")));
    QCOMPARE(source("y.dll").Size(), 0u);
    QCOMPARE(source("missing.dll").Size(), 0u);

    // A sparse 2 GB file is read where the headers are, nothing more.
    QFile big(dir.filePath(QStringLiteral("big.dll")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(qint64(2) << 30));
    big.close();
    const FileSource sparse = source("big.dll");
    QCOMPARE(sparse.Size(), std::uint64_t(2) << 30);
    QCOMPARE(IconReader(sparse).Count(), 0);

    // Cut short after opening: reads past the cut fail, the icons there are missing, and
    // the ones before it are still read.
    QVERIFY(QFile::copy(kData + QStringLiteral("/icons.exe"), dir.filePath(QStringLiteral("cut.exe"))));
    const FileSource cut = source("cut.exe");
    IconReader reader(cut);
    QCOMPARE(reader.Count(), 9);
    QVERIFY(reader.Read(0));
    QVERIFY(QFile::resize(dir.filePath(QStringLiteral("cut.exe")), 0x400));
    std::uint8_t byte = 0;
    QVERIFY(cut.ReadAt(0x3FF, {&byte, 1}));
    QVERIFY(!cut.ReadAt(0x400, {&byte, 1}));
    for (int i = 0; i < 9; ++i)
        QVERIFY(!reader.Read(i));
}

namespace {
QImage AsImage(const Picture& picture)
{
    QImage image(picture.Width, picture.Height, QImage::Format_ARGB32);
    for (int y = 0; y < picture.Height; ++y)
        std::memcpy(image.scanLine(y), picture.Pixels.data() + std::size_t(y) * std::size_t(picture.Width), std::size_t(picture.Width) * 4);
    return image;
}

// The PNG icotool extracts for image number (1-based) of an icon file.
QImage IcotoolImage(const QString& ico, int number)
{
    QTemporaryDir dir;
    QProcess::execute(QStringLiteral("icotool"), {QStringLiteral("-x"), QStringLiteral("-i"), QString::number(number),
                                                  QStringLiteral("-o"), dir.path(), ico});
    const QStringList pngs = QDir(dir.path()).entryList({QStringLiteral("*.png")});
    return pngs.size() == 1 ? QImage(dir.filePath(pngs.first())).convertToFormat(QImage::Format_ARGB32) : QImage();
}

QString IcotoolList(const QString& ico)
{
    QProcess process;
    process.start(QStringLiteral("icotool"), {QStringLiteral("-l"), ico});
    process.waitForFinished(30000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}
} // namespace

// sizes.ico: 16x16x4, 32x32x4, 32x32x8, 32x32x24 with a mask, 48x48x32 with alpha, 256 PNG.
void TestExeIcons::choosesTheThumbnailImage()
{
    if (!HaveIcoutils())
        VISTREL_SKIP("icoutils is not installed");
    const QString ico = kData + QStringLiteral("/sizes.ico");
    const QByteArray bytes = Contents(ico);
    const SpanSource source(Span(bytes));
    const auto thumbnail = [&](int size) {
        IconReader reader(source);
        const auto picture = ThumbnailPicture(reader, size);
        return picture ? AsImage(*picture) : QImage();
    };
    // Exactly SIZE: the deepest of the equal sizes, its mask as alpha, as icotool gives it.
    QCOMPARE(thumbnail(32), IcotoolImage(ico, 4));
    QCOMPARE(thumbnail(16), IcotoolImage(ico, 1));
    QCOMPARE(thumbnail(48), IcotoolImage(ico, 5));
    QCOMPARE(thumbnail(256), IcotoolImage(ico, 6));
    // Never enlarged: the largest, the PNG, at its own size.
    QCOMPARE(thumbnail(1024), IcotoolImage(ico, 6));
    // The smallest one at least SIZE wide, shrunk by area averaging: the PNG is constant
    // over 8x8 blocks, so each 4x4 block of a 128 thumbnail is one block's colour.
    const QImage png = IcotoolImage(ico, 6);
    const QImage half = thumbnail(128);
    QCOMPARE(half.size(), QSize(128, 128));
    for (const QPoint p : {QPoint(0, 0), QPoint(5, 9), QPoint(127, 64), QPoint(77, 127)})
        QCOMPARE(half.pixel(p), png.pixel(p * 2));
    // 40: the 48x48 alpha image shrunk, not the 256 one.
    QCOMPARE(thumbnail(40).size(), QSize(40, 40));
    const QImage scaled = thumbnail(40);
    QCOMPARE(qAlpha(scaled.pixel(39, 39)) > 0, true);
    // The NE file's first group holds every image but the PNG: the 48x48 one at most.
    const QByteArray ne = NeFile(ImagesOf(bytes).mid(0, 5), {{0, 1, 2, 3, 4}});
    const SpanSource neSource(Span(ne));
    IconReader neReader(neSource);
    const auto fromNe = ThumbnailPicture(neReader, 128);
    QVERIFY(fromNe);
    QCOMPARE(AsImage(*fromNe), IcotoolImage(ico, 5));
    // No icon: nothing.
    const QByteArray notes = Contents(kData + QStringLiteral("/notes.exe"));
    const SpanSource notesSource(Span(notes));
    IconReader notesReader(notesSource);
    QVERIFY(!ThumbnailPicture(notesReader, 128));
}

// --extract's ico and png against wrestool and icotool on the same group.
void TestExeIcons::exportsLikeIcoutils()
{
    // A PNG image is copied as it is, but only with a sound header: the 256 one here has
    // a damaged IHDR, so the PNG export takes the 32x32 image instead.
    QByteArray ico = IconFile({{32, 32, 24}, {256, 256, 32}});
    const auto second = qFromLittleEndian<std::uint32_t>(ico.constData() + 6 + 16 + 12);
    ico.replace(qsizetype(second), 16, QByteArray::fromHex("89504e470d0a1a0a0000000d49484458"));
    const SpanSource damaged(Span(ico));
    IconReader damagedReader(damaged);
    const std::vector<std::uint8_t> fallback = LargestImagePng(damagedReader, 0);
    QCOMPARE(QImage::fromData(fallback.data(), int(fallback.size()), "PNG").size(), QSize(32, 32));

    if (!HaveIcoutils())
        VISTREL_SKIP("icoutils is not installed");
    QTemporaryDir dir;
    const QString exe = kData + QStringLiteral("/icons.exe");
    const FileSource source(QFile::encodeName(exe).constData());
    IconReader reader(source);
    // Index 5 is the group named 1 (sizes.ico), index 0 APPICON.
    for (const auto& [index, group] : {std::pair{5, "1"}, std::pair{0, "APPICON"}}) {
        const QString theirs = dir.filePath(QStringLiteral("theirs.ico"));
        QCOMPARE(QProcess::execute(QStringLiteral("wrestool"), {QStringLiteral("-x"), QStringLiteral("-t14"), QStringLiteral("-n"),
                                                                QString::fromLatin1(group), QStringLiteral("-o"), theirs, exe}), 0);
        const std::vector<std::uint8_t> bytes = IconFileBytes(reader, index);
        QFile mine(dir.filePath(QStringLiteral("mine.ico")));
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        mine.close();
        QVERIFY(!IcotoolList(theirs).isEmpty());
        QCOMPARE(IcotoolList(mine.fileName()), IcotoolList(theirs));
        // The largest image, deepest on equal sizes: the PNG of the first, the 48x48 of the second.
        const std::vector<std::uint8_t> png = LargestImagePng(reader, index);
        const QImage largest = QImage::fromData(png.data(), int(png.size()), "PNG").convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(largest, IcotoolImage(theirs, index == 5 ? 6 : 3));
    }
}

QTEST_GUILESS_MAIN(TestExeIcons)
#include "tst_exeicons.moc"
