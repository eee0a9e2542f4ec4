// The thumbnailer's sandbox, entered by a child of the test, the stored PNG images it
// passes on instead of decoding and encoding them, and damaged PNG images, which it and
// the PNG export pass over.
#include "icon/bytesource.h"
#include "icon/iconexport.h"
#include "skipunlessci.h"
#include "thumbnailer/sandbox.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <zlib.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray PngOf(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    return image.save(&buffer, "PNG") ? png : QByteArray();
}

// An icon file holding these images, its directory's sizes taken from each PNG's header.
QByteArray IconFileOf(const QList<QByteArray>& pngs)
{
    const IconFileHeader header{0, 1, std::uint16_t(pngs.size())};
    QByteArray directory(reinterpret_cast<const char*>(&header), sizeof header), images;
    for (const QByteArray& png : pngs) {
        const auto side = std::uint8_t(qFromBigEndian<std::uint32_t>(png.constData() + 16));
        const IconFileEntry entry{side, side, 0, 0, 1, 32, std::uint32_t(png.size()),
                                  std::uint32_t(sizeof header + pngs.size() * sizeof entry + images.size())};
        directory += QByteArray(reinterpret_cast<const char*>(&entry), sizeof entry);
        images += png;
    }
    return directory + images;
}

QByteArray Bytes(const std::vector<std::uint8_t>& data)
{
    return {reinterpret_cast<const char*>(data.data()), qsizetype(data.size())};
}

// A PNG chunk, its CRC computed.
QByteArray Chunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian(std::uint32_t(data.size()), chunk.data());
    chunk += type + data;
    QByteArray crc(4, '\0');
    qToBigEndian(std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(chunk.constData() + 4), uInt(chunk.size() - 4))),
                 crc.data());
    return chunk + crc;
}

} // namespace

class TestThumbnailer : public QObject {
    Q_OBJECT
private slots:
    void sandboxLeavesOnlyOutputAndInput()
    {
        QTemporaryDir dir;
        const QByteArray existing = QFile::encodeName(dir.filePath("existing"));
        QFile file(dir.filePath("existing"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("data") == 4 && file.flush());
        const int input = ::open(existing.constData(), O_RDONLY | O_CLOEXEC);
        int results[2], other[2];
        QVERIFY(input >= 0 && ::pipe(results) == 0 && ::pipe(other) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            const SandboxLayers layers = EnterSandbox(results[1]);
            // No file made, moved or removed (the listing below); the rest, 1 where it worked.
            ::open((existing + "-new").constData(), O_WRONLY | O_CREAT, 0666);
            ::rename(existing.constData(), (existing + "-moved").constData());
            ::unlink(existing.constData());
            char data[4];
            const char out[] = {char(layers.Files && layers.SystemCalls), char(::open(existing.constData(), O_RDONLY) >= 0),
                                char(::socket(AF_UNIX, SOCK_STREAM, 0) >= 0), char(::write(other[1], "x", 1) == 1),
                                char(::mmap(nullptr, 1, PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED),
                                char(::pread(input, data, 4, 0) == 4 && new char[1 << 20])};
            ::_exit(::write(results[1], out, sizeof out) == sizeof out ? 0 : 1);
        }
        ::close(results[1]);
        char answers[6] = {};
        int status = 0;
        QVERIFY(::read(results[0], answers, sizeof answers) == sizeof answers && ::waitpid(child, &status, 0) == child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        if (!answers[0])
            VISTREL_SKIP("this kernel has no Landlock or no seccomp");
        // Reading INPUT and allocating still work; writing elsewhere only for the
        // sanitizers, whose checks write into pipes of their own.
        QCOMPARE(QByteArray(answers + 1, 5), QByteArray::fromStdString({0, 0, char(kSandboxForSanitizers), 0, 1}));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"existing"});
    }

    // Stored PNG images that fit are the thumbnail as they are, whatever their colour type;
    // a client reads the same pixels from them as from the picture decoded and encoded.
    void copiesAStoredPngThatFits()
    {
        QImage palette(24, 24, QImage::Format_Indexed8);
        palette.setColorTable({qRgba(255, 0, 0, 255), qRgba(0, 0, 255, 128), qRgba(0, 0, 0, 0)});
        QImage deep(24, 24, QImage::Format_RGBA64);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) {
                palette.setPixel(x, y, uint((x + y) % 3));
                // Multiples of 257: one 8-bit value, however a reader narrows them.
                deep.setPixelColor(x, y, QColor::fromRgba64(257 * x * 10, 257 * y, 257 * 200, 257 * (x * y % 256)));
            }
        for (const QImage& image : {palette, deep, palette.convertToFormat(QImage::Format_Grayscale8)}) {
            QByteArray png;
            QBuffer buffer(&png);
            QVERIFY(image.save(&buffer, "PNG"));
            // An icon file with that one image.
            const IconFileHeader header{0, 1, 1};
            const IconFileEntry entry{24, 24, 0, 0, 1, 32, std::uint32_t(png.size()), sizeof header + sizeof entry};
            const QByteArray ico = QByteArray(reinterpret_cast<const char*>(&header), sizeof header)
                + QByteArray(reinterpret_cast<const char*>(&entry), sizeof entry) + png;
            const SpanSource source({reinterpret_cast<const std::uint8_t*>(ico.data()), std::size_t(ico.size())});
            IconReader reader(source), decoder(source);
            const std::vector<std::uint8_t> copied = ThumbnailPng(reader, 24);
            // Its header and palette as they are; Qt's pHYs chunk left out.
            QVERIFY(png.contains("pHYs") && !Bytes(copied).contains("pHYs"));
            QCOMPARE(Bytes(copied).left(33), png.left(33));
            const std::vector<std::uint8_t> encoded = EncodePng(*ThumbnailPicture(decoder, 24));
            const auto asRead = [](const std::vector<std::uint8_t>& bytes) {
                return QImage::fromData(bytes.data(), int(bytes.size()), "PNG").convertToFormat(QImage::Format_ARGB32);
            };
            QCOMPARE(asRead(copied), asRead(encoded));
        }
    }

    // Damaged and stuffed PNG images in an icon: the thumbnail and the PNG export take the
    // best image that decodes whole, and a thumbnail keeps only the chunks of its pixels.
    void passesOnlyWhatDecodes_data()
    {
        QTest::addColumn<QList<QByteArray>>("images");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("thumbnail"); // the side of the picture made, 0 for none
        QTest::addColumn<int>("exported");
        QImage small(32, 32, QImage::Format_ARGB32), large(256, 256, QImage::Format_ARGB32), medium(48, 48, QImage::Format_ARGB32);
        for (QImage* image : {&small, &medium, &large})
            for (int y = 0; y < image->height(); ++y)
                for (int x = 0; x < image->width(); ++x)
                    image->setPixel(x, y, qRgba(x * 255 / image->width(), y, 90, (x * y) % 256));
        const QByteArray good = PngOf(small);
        const qsizetype idat = good.indexOf("IDAT");
        QByteArray flipped = good, flippedFixed;
        flipped[idat + 10] = char(flipped[idat + 10] ^ 0x40);
        // The same byte with the CRC made right: zlib's own checks are all that is left.
        const auto idatLength = qFromBigEndian<std::uint32_t>(good.constData() + idat - 4);
        flippedFixed = good.left(idat - 4) + Chunk("IDAT", flipped.mid(idat + 4, idatLength)) + good.mid(idat + 8 + idatLength);
        QByteArray corrupt = PngOf(large);
        corrupt[corrupt.indexOf("IDAT") + 200] ^= 0x01;
        QByteArray text = Chunk("tEXt", QByteArray("Comment\0x", 9)), badText = good;
        text[text.size() - 5] = 'y';
        badText.insert(33, text);
        QTest::newRow("IDAT byte flipped") << QList{flipped} << 32 << 0 << 0;
        QTest::newRow("IDAT byte flipped, CRC made right") << QList{flippedFixed} << 32 << 0 << 0;
        QTest::newRow("cut after IHDR") << QList{good.left(33)} << 32 << 0 << 0;
        QTest::newRow("no IEND") << QList{good.chopped(12)} << 32 << 0 << 0;
        QTest::newRow("text chunk's CRC wrong") << QList{badText} << 32 << 0 << 0;
        QTest::newRow("good 48 beside corrupt 256") << QList{PngOf(medium), corrupt} << 256 << 48 << 48;
        QTest::newRow("7 MB text chunk") << QList{good.left(33) + Chunk("tEXt", QByteArray("Comment\0", 8) + QByteArray(7 << 20, 'x')) + good.mid(33)}
                                         << 32 << 32 << 32;
    }
    void passesOnlyWhatDecodes()
    {
        QFETCH(QList<QByteArray>, images);
        QFETCH(int, size);
        QFETCH(int, thumbnail);
        QFETCH(int, exported);
        const QByteArray ico = IconFileOf(images);
        const SpanSource source({reinterpret_cast<const std::uint8_t*>(ico.data()), std::size_t(ico.size())});
        IconReader reader(source), exporter(source);
        const QByteArray made = Bytes(ThumbnailPng(reader, size));
        const QImage picture = QImage::fromData(made, "PNG");
        QCOMPARE(picture.width(), thumbnail);
        QVERIFY(made.isEmpty() || (made.size() < 20000 && !made.contains("tEXt")));
        QCOMPARE(QImage::fromData(Bytes(LargestImagePng(exporter, 0)), "PNG").width(), exported);
        // The pixels passed on are the image's own.
        if (thumbnail == 32)
            QCOMPARE(picture.convertToFormat(QImage::Format_ARGB32), QImage::fromData(images[0], "PNG").convertToFormat(QImage::Format_ARGB32));
    }
};

QTEST_GUILESS_MAIN(TestThumbnailer)
#include "tst_thumbnailer.moc"
