// Every PNG under tests/data/png (each colour type and depth, plain and interlaced, made by
// make-png.py there) decoded by the icon core and by Qt's reader: the same size and the
// same straight ARGB pixels, 16-bit samples brought to 8 bits as Qt does, by rounding.
// Where Qt misreads a file, make-png.py wrote its pixels again as name.ref.png for Qt.
// Then how the core sets libpng up: what it refuses, what it skips, its bounds.
#include "datafile.h"
#include "icon/png.h"

#include <QDir>
#include <QImage>
#include <QtTest>

#include <zlib.h>

// A row for each PNG file in folder; a lost folder must not pass as zero rows.
static void PngRows(const QString& folder, qsizetype atLeast)
{
    QTest::addColumn<QString>("path");
    const QDir dir(QStringLiteral(VISTREL_TEST_DATA "/png/") + folder);
    const QStringList files = dir.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    QVERIFY2(files.size() >= atLeast, qPrintable(dir.path()));
    for (const QString& file : files)
        QTest::newRow(qPrintable(file)) << dir.filePath(file);
}

class TestPng : public QObject {
    Q_OBJECT
private slots:
    void decodesAsQt_data() { PngRows(QString(), 44); }
    void decodesAsQt()
    {
        QFETCH(QString, path);
        const QByteArray bytes = Contents(path);
        const QString ref = path.chopped(4) + QStringLiteral(".ref.png");
        QImage qt;
        QVERIFY(qt.load(QFile::exists(ref) ? ref : path, "png"));
        qt = qt.convertToFormat(QImage::Format_ARGB32);
        const std::optional<Picture> picture = DecodePng(Span(bytes), 1 << 20);
        QVERIFY(picture);
        QVERIFY(PngDecodes(Span(bytes), 1 << 20));
        QCOMPARE(picture->Width, qt.width());
        QCOMPARE(picture->Height, qt.height());
        QCOMPARE(picture->Pixels.size(), std::size_t(qt.width()) * std::size_t(qt.height()));
        for (int y = 0; y < qt.height(); ++y)
            for (int x = 0; x < qt.width(); ++x) {
                const std::uint32_t ours = picture->Pixels[std::size_t(y) * std::size_t(qt.width()) + std::size_t(x)];
                const QRgb theirs = qt.pixel(x, y);
                // Under alpha 0 Qt clears a gray key's colour at some depths, keeps it at others.
                if (ours != theirs && (qAlpha(ours) != 0 || qAlpha(theirs) != 0))
                    QFAIL(qPrintable(QStringLiteral("(%1, %2): 0x%3, Qt 0x%4")
                                         .arg(x).arg(y).arg(ours, 8, 16, QLatin1Char('0')).arg(theirs, 8, 16, QLatin1Char('0'))));
            }
        // Written again, it reads back as it was; stored, every byte of the rows is there.
        for (const PngCompression compression : {PngCompression::Stored, PngCompression::Small}) {
            const std::vector<std::uint8_t> written = EncodePng(*picture, compression);
            const std::optional<Picture> read = DecodePng(written, 1 << 20);
            QVERIFY(read && read->Width == picture->Width && read->Pixels == picture->Pixels);
            QVERIFY(compression == PngCompression::Small || written.size() > picture->Pixels.size() * 4);
        }
    }

    // rgba8.png changed in one place, decoded within a budget of pixels: what the settings
    // the core gives libpng decide.
    void readsAsSetUp_data()
    {
        QTest::addColumn<QByteArray>("png");
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<bool>("decodes");
        const QByteArray good = Contents(QStringLiteral(VISTREL_TEST_DATA "/png/rgba8.png"));
        const qint64 pixels = qint64(qFromBigEndian<quint32>(good.constData() + 16)) * qFromBigEndian<quint32>(good.constData() + 20);
        const qsizetype idat = good.indexOf("IDAT") - 4, iend = good.size() - 12;
        // The chunk inserted at, its CRC wrong on request.
        const auto with = [&](qsizetype at, const QByteArray& type, const QByteArray& body, bool crcRight = true) {
            const QByteArray typed = type + body;
            const auto crc = quint32(crc32_z(0, reinterpret_cast<const Bytef*>(typed.data()), std::size_t(typed.size())));
            const auto be32 = [](quint32 value) { QByteArray bytes(4, 0); qToBigEndian(value, bytes.data()); return bytes; };
            const QByteArray chunk = be32(quint32(body.size())) + typed + be32(crcRight ? crc : ~crc);
            return good.left(at) + chunk + good.mid(at);
        };
        const auto flipped = [&](qsizetype at) { QByteArray bytes = good; bytes[at] = char(bytes[at] ^ 1); return bytes; };
        QTest::newRow("as it is") << good << pixels << true;
        QTest::newRow("one pixel over the budget") << good << pixels - 1 << false;
        QTest::newRow("IHDR's CRC wrong") << flipped(29) << pixels << false;
        QTest::newRow("IEND's CRC wrong") << flipped(good.size() - 1) << pixels << false;
        QTest::newRow("cut in IEND") << good.chopped(1) << pixels << false;
        QTest::newRow("text before IDAT") << with(idat, "tEXt", "a\0b") << pixels << true;
        QTest::newRow("text before IDAT, CRC wrong") << with(idat, "tEXt", "a\0b", false) << pixels << false;
        QTest::newRow("text after IDAT, CRC wrong") << with(iend, "tEXt", "a\0b", false) << pixels << false;
        QTest::newRow("empty gAMA, skipped unread") << with(idat, "gAMA", {}) << pixels << true;
        QTest::newRow("chunk as long as a resource") << with(idat, "teSt", QByteArray(8 << 20, 'x')) << pixels << true;
        QTest::newRow("chunk a byte longer") << with(idat, "teSt", QByteArray((8 << 20) + 1, 'x')) << pixels << false;
    }
    void readsAsSetUp()
    {
        QFETCH(QByteArray, png);
        QFETCH(qint64, budget);
        QFETCH(bool, decodes);
        QCOMPARE(PngDecodes(Span(png), budget), decodes);
        QCOMPARE(DecodePng(Span(png), budget).has_value(), decodes);
    }

    // Files that each break one rule of the format (damaged/, from make-png.py), every CRC
    // right: refused whole, by the check a thumbnail passes through and by decoding.
    void refusesDamaged_data() { PngRows(QStringLiteral("damaged"), 16); }
    void refusesDamaged()
    {
        QFETCH(QString, path);
        const QByteArray bytes = Contents(path);
        QVERIFY(!PngDecodes(Span(bytes), 1 << 20));
        QVERIFY(!DecodePng(Span(bytes), 1 << 20));
    }
};

QTEST_MAIN(TestPng)
#include "tst_png.moc"
