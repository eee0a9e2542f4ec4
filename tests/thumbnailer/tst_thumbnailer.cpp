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
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray Bytes(const std::vector<std::uint8_t>& data)
{
    return {reinterpret_cast<const char*>(data.data()), qsizetype(data.size())};
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

    // Damaged and stuffed PNG images in icon files (fuzz/seeds.py, the fuzzer's seeds):
    // the thumbnail and the PNG export take the best image that decodes whole, and a
    // thumbnail keeps only the chunks of its pixels.
    void passesOnlyWhatDecodes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("thumbnail"); // the side of the picture made, 0 for none
        QTest::addColumn<int>("exported");
        QTest::newRow("IDAT byte flipped") << "idat-flipped.ico" << 32 << 0 << 0;
        QTest::newRow("IDAT byte flipped, CRC made right") << "idat-flipped-crc-right.ico" << 32 << 0 << 0;
        QTest::newRow("cut after IHDR") << "cut-after-ihdr.ico" << 32 << 0 << 0;
        QTest::newRow("text chunk's CRC wrong") << "text-crc-wrong.ico" << 32 << 0 << 0;
        QTest::newRow("good 48 beside corrupt 256") << "good48-corrupt256.ico" << 256 << 48 << 48;
        QTest::newRow("7 MB text chunk") << "text-chunk.ico" << 32 << 32 << 32;
    }
    void passesOnlyWhatDecodes()
    {
        QFETCH(QString, file);
        QFETCH(int, size);
        QFETCH(int, thumbnail);
        QFETCH(int, exported);
        static QTemporaryDir seeds;
        static const int made = QProcess::execute(QStringLiteral("python3"), {QStringLiteral(VISTREL_SOURCE_DIR "/fuzz/seeds.py"),
                                                                             seeds.path(), QString::number(7 << 20)});
        QCOMPARE(made, 0);
        const FileSource source(QFile::encodeName(seeds.filePath(file)).constData());
        IconReader reader(source), exporter(source);
        const QByteArray png = Bytes(ThumbnailPng(reader, size)), largest = Bytes(LargestImagePng(exporter, 0));
        const QImage picture = QImage::fromData(png, "PNG");
        QCOMPARE(picture.width(), thumbnail);
        QCOMPARE(QImage::fromData(largest, "PNG").width(), exported);
        QCOMPARE(png.isEmpty() || largest.isEmpty(), thumbnail == 0);
        QVERIFY(png.size() < 20000 && !png.contains("tEXt"));
        // The pixels passed on are the image's own.
        if (thumbnail == 32)
            QCOMPARE(picture.convertToFormat(QImage::Format_ARGB32), QImage(seeds.filePath(file)).convertToFormat(QImage::Format_ARGB32));
    }
};

QTEST_GUILESS_MAIN(TestThumbnailer)
#include "tst_thumbnailer.moc"
