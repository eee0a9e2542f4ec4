// Every PNG under tests/data/png (each colour type and depth, plain and interlaced, made by
// make-png.py there) decoded by the icon core and by Qt's reader: the same size and the
// same straight ARGB pixels, 16-bit samples brought to 8 bits as Qt does, by rounding.
// Where Qt misreads a file, make-png.py wrote its pixels again as name.ref.png for Qt.
#include "datafile.h"
#include "icon/png.h"

#include <QDir>
#include <QImage>
#include <QtTest>

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
