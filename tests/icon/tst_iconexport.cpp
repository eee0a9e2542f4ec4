// The icon files --extract and the cell menu write, as other programs read them: every
// image of every icon of the test files, PE, PE32+, NE and icon files alike.
#include "icon/bytesource.h"
#include "icon/iconexport.h"
#include "skipunlessci.h"

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
        for (const char* file : {"icons.exe", "icons64.dll", "ne/old.exe", "sizes.ico"})
            QTest::newRow(file) << QString::fromLatin1(file);
    }
    void othersReadEveryImage()
    {
        QFETCH(QString, file);
        const bool icotool = !QStandardPaths::findExecutable(QStringLiteral("icotool")).isEmpty();
        const bool pixbuf = QProcess::execute(QStringLiteral("/usr/bin/python3"),
                                              {QStringLiteral("-c"), QStringLiteral("import gi; gi.require_version('GdkPixbuf', '2.0')")}) == 0;
        if (!icotool || !pixbuf)
            VISTREL_SKIP("icotool or python3 with GdkPixbuf is missing (icoutils, python3-gi, gir1.2-gdkpixbuf-2.0)");
        QTemporaryDir dir;
        const FileSource source(QFile::encodeName(QStringLiteral(VISTREL_TEST_DATA "/") + file).constData());
        IconReader reader(source);
        QVERIFY(reader.Count() > 0);
        for (int index = 0; index < reader.Count(); ++index) {
            const std::vector<std::uint8_t> bytes = IconFileBytes(reader, index);
            if (bytes.empty())
                continue; // no image of it can be read: no file is written
            const QString path = dir.filePath(QStringLiteral("%1.ico").arg(index));
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size()));
            out.close();
            // Qt: as many pictures as the group has images, none of them failing.
            QImageReader qt(path, "ico");
            QCOMPARE(qt.imageCount(), int(reader.Entries(index).size()));
            for (int image = 0; image < qt.imageCount(); ++image)
                QVERIFY2(qt.jumpToImage(image) && !qt.read().isNull(), qPrintable(qt.errorString()));
            // icotool takes each image out without a word; gdk-pixbuf loads the file, unless
            // all its images are PNG, which gdk-pixbuf 2.42 reads in no icon file
            // ("Compressed icons are not supported", wrestool's file the same).
            QProcess tool;
            tool.start(QStringLiteral("icotool"), {QStringLiteral("-x"), QStringLiteral("-o"), dir.path(), path});
            QVERIFY(tool.waitForFinished());
            QCOMPARE(tool.readAllStandardError() + QByteArray::number(tool.exitCode()), QByteArray("0"));
            const auto entries = reader.Entries(index);
            if (std::all_of(entries.begin(), entries.end(), [&](const IconEntry& e) { return IsPng(*reader.ImageData(e)); }))
                continue;
            QCOMPARE(QProcess::execute(QStringLiteral("/usr/bin/python3"),
                                       {QStringLiteral("-c"), QStringLiteral("import sys, gi; gi.require_version('GdkPixbuf', '2.0'); "
                                                                             "from gi.repository import GdkPixbuf; "
                                                                             "GdkPixbuf.Pixbuf.new_from_file(sys.argv[1])"),
                                        path}),
                     0);
        }
    }
};

QTEST_GUILESS_MAIN(TestIconExport)
#include "tst_iconexport.moc"
