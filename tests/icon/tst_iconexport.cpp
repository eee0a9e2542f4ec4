// The icon files --extract and the cell menu write, as other programs read them: every
// image of every icon of the test files, PE, PE32+, NE and icon files alike.
#include "icon/bytesource.h"
#include "icon/iconexport.h"
#include "skipunlessci.h"

#include <QDirIterator>
#include <QImageReader>
#include <algorithm>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestIconExport : public QObject {
    Q_OBJECT
private slots:
    void othersReadEveryImage_data()
    {
        QTest::addColumn<QString>("file");
        QDirIterator files(QStringLiteral(VISTREL_TEST_DATA), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = QDir(QStringLiteral(VISTREL_TEST_DATA)).relativeFilePath(files.next());
            QTest::newRow(qPrintable(file)) << file;
        }
    }
    void othersReadEveryImage()
    {
        QFETCH(QString, file);
        const QStringList tools{QStringLiteral("icotool"), QStringLiteral("gdk-pixbuf-thumbnailer"), QStringLiteral("identify")};
        for (const QString& tool : tools)
            if (QStandardPaths::findExecutable(tool).isEmpty())
                VISTREL_SKIP("icotool, gdk-pixbuf-thumbnailer or ImageMagick's identify is missing (icoutils, libgdk-pixbuf2.0-bin, imagemagick)");
        QTemporaryDir dir;
        const FileSource source(QFile::encodeName(QStringLiteral(VISTREL_TEST_DATA "/") + file).constData());
        IconReader reader(source);
        int checked = 0;
        for (int index = 0; index < reader.Count(); ++index) {
            const auto entries = reader.Entries(index);
            const auto decodes = [&](const IconEntry& e) { const auto data = reader.ImageData(e); return data && reader.Decode(*data); };
            const std::vector<std::uint8_t> bytes = IconFileBytes(reader, index);
            if (bytes.empty() || !std::all_of(entries.begin(), entries.end(), decodes))
                continue; // damaged images are kept as stored, for no reader to take
            const QString path = dir.filePath(QStringLiteral("%1.ico").arg(index));
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size()));
            out.close();
            ++checked;
            // Qt: as many pictures as the group has images, none of them failing.
            QImageReader qt(path, "ico");
            QCOMPARE(qt.imageCount(), int(entries.size()));
            for (int image = 0; image < qt.imageCount(); ++image)
                QVERIFY2(qt.jumpToImage(image) && !qt.read().isNull(), qPrintable(qt.errorString()));
            // icotool takes each image out, ImageMagick reads every one, without a word;
            // gdk-pixbuf loads the file, unless all its images are PNG, which gdk-pixbuf
            // 2.42 reads in no icon file ("Compressed icons are not supported").
            const bool allPng = std::all_of(entries.begin(), entries.end(), [&](const IconEntry& e) { return IsPng(*reader.ImageData(e)); });
            const QList<QStringList> commands{
                {tools[0], QStringLiteral("-x"), QStringLiteral("-o"), dir.path(), path},
                {tools[2], QStringLiteral("-regard-warnings"), path},
                {tools[1], QStringLiteral("-s"), QStringLiteral("16"), path, dir.filePath(QStringLiteral("pixbuf.png"))}};
            for (const QStringList& command : commands.mid(0, allPng ? 2 : 3)) {
                QProcess tool;
                tool.start(command[0], command.mid(1));
                QVERIFY(tool.waitForFinished());
                const QByteArray said = tool.readAllStandardError() + QByteArray::number(tool.exitCode());
                QVERIFY2(said == "0", qPrintable(command.join(' ') + ": " + said));
            }
        }
        // An undamaged file's icons are exported, not all passed over.
        QVERIFY(checked > 0 || reader.Count() == 0 || file.startsWith(QStringLiteral("damaged/")));
    }
};

QTEST_GUILESS_MAIN(TestIconExport)
#include "tst_iconexport.moc"
