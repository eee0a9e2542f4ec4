// The batch commands as launchers and scripts call them, run as the real program: an
// icon chosen by index, name and language into a folder or a pipe, held against what
// icoutils take out of the same file; the numbers --list gives against the files
// --extract writes; a tree deeper than a path can name.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <set>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kProgram = QStringLiteral(VISTREL_PROGRAM);
const QString kData = QStringLiteral(VISTREL_TEST_DATA);

struct Outcome {
    int status = -1;
    QByteArray out;
    QString err;
};

Outcome Run(const QString& program, const QStringList& arguments, const QString& stdoutFile = {})
{
    QProcess process;
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        process.kill();
    process.waitForFinished();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

// The pictures icotool takes out of an icon or cursor file, in its order; a PNG file is
// its own one picture.
QList<QImage> Pictures(const QByteArray& file)
{
    if (file.startsWith("\x89PNG"))
        return {QImage::fromData(file).convertToFormat(QImage::Format_ARGB32)};
    QTemporaryDir folder;
    QFile in(folder.filePath("in.ico"));
    if (!in.open(QIODevice::WriteOnly) || in.write(file) != file.size())
        return {};
    in.close();
    Run("icotool", {"-x", "-o", folder.path(), in.fileName()});
    QStringList names = QDir(folder.path()).entryList({"*.png"});
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.section('_', 1, 1).toInt() < b.section('_', 1, 1).toInt(); // in_N_WxHxD.png
    });
    QList<QImage> pictures;
    for (const QString& name : names)
        pictures << QImage(folder.filePath(name)).convertToFormat(QImage::Format_ARGB32);
    return pictures;
}

QSet<int> Numbers(const QStringList& names)
{
    QSet<int> numbers;
    for (const QString& name : names)
        numbers << name.mid(name.startsWith("Icon") ? 4 : 6, 5).toInt();
    return numbers;
}
} // namespace

class TestBatch : public QObject {
    Q_OBJECT

private slots:
    void choices_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "<out>": a fresh folder; "<full>": "-" into /dev/full
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("wrestool"); // per icon written: "TYPE NAME FILE [LANGUAGE]"
        QTest::addColumn<int>("width");            // with --size: the one image expected of that width
        QTest::addColumn<QString>("err");
        const QString exe = kData + "/icons.exe";
        const QString dll = kData + "/icons64.dll";
        const QString ico = "--format=ico";
        QTest::newRow("index") << QStringList{"--icon", "0", ico, exe, "-"} << 0 << QStringList{"14 APPICON icons.exe"} << 0 << "";
        QTest::newRow("numeric name") << QStringList{"--name", "1", ico, exe, "-"} << 0 << QStringList{"14 1 icons.exe"} << 0 << "";
        QTest::newRow("string name, in any case")
            << QStringList{ico, exe, "--name=png256", "-"} << 0 << QStringList{"14 PNG256 icons.exe"} << 0 << "";
        QTest::newRow("language, in hex") << QStringList{"--name", "20", "--language", "0x411", ico, exe, "-"} << 0
                                          << QStringList{"14 20 icons.exe 1041"} << 0 << "";
        QTest::newRow("the first language without one")
            << QStringList{"--name", "20", ico, exe, "-"} << 0 << QStringList{"14 20 icons.exe 1033"} << 0 << "";
        QTest::newRow("index and language") << QStringList{"--icon", "7", "--language", "1041", ico, exe, "-"} << 0
                                            << QStringList{"14 20 icons.exe 1041"} << 0 << "";
        QTest::newRow("NE file") << QStringList{"--icon", "0", ico, kData + "/ne/old.exe", "-"} << 0
                                 << QStringList{"14 1 ne/old.exe"} << 0 << "";
        QTest::newRow("PNG at least 40 wide") << QStringList{"--icon", "5", "--format", "png", "--size", "40", exe, "-"}
                                              << 0 << QStringList{"14 1 icons.exe"} << 48 << "";
        QTest::newRow("PNG larger than any: the largest")
            << QStringList{"--icon", "6", "--format", "png", "--size", "300", exe, "-"} << 0 << QStringList{"14 7 icons.exe"} << 48 << "";
        QTest::newRow("several sources into a folder")
            << QStringList{"--icon", "0", ico, exe, dll, "<out>"} << 0 << QStringList{"14 APPICON icons.exe", "14 MAIN icons64.dll"}
            << 0 << "";
        QTest::newRow("missing") << QStringList{"--icon", "9", exe, "-"} << 2 << QStringList{} << 0
                                 << "vistrel: " + exe + " holds no icon 9\nvistrel: - takes exactly one icon, and 0 were chosen";
        QTest::newRow("missing language") << QStringList{"--name", "1", "--language", "1041", exe, "-"} << 2 << QStringList{} << 0
                                          << "holds no icon named 1 in language 1041";
        QTest::newRow("several sources to stdout") << QStringList{"--icon", "0", exe, dll, "-"} << 2 << QStringList{} << 0
                                                   << "vistrel: - takes exactly one icon, and 2 were chosen";
        // A folder, or a BMP, is the whole command's; one icon file is the front's own.
        QTest::newRow("stdout from a folder") << QStringList{"--name", "PNG256", ico, kData, "-"} << 0
                                              << QStringList{"14 PNG256 icons.exe"} << 0 << "holds no icon named PNG256";
        for (const QString& format : {QStringLiteral("--format=bmp"), ico})
            QTest::newRow(qPrintable("a full disk, " + format)) << QStringList{"--icon", "0", format, exe, "<full>"} << 2 << QStringList{}
                << 0 << "vistrel: the icon can't be written to standard output: No space left on device";
    }

    void choices()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, wrestool);
        QFETCH(int, width);
        QFETCH(QString, err);
        QTemporaryDir out;
        const bool full = arguments.last() == "<full>";
        arguments.replaceInStrings("<out>", out.path()).replaceInStrings("<full>", "-");
        const Outcome outcome = Run(kProgram, QStringList{"--extract"} + arguments, full ? "/dev/full" : "");
        QCOMPARE(outcome.status, status);
        QVERIFY2(err.isEmpty() ? outcome.err.isEmpty() : outcome.err.contains(err), qPrintable(outcome.err));
        QList<QByteArray> written;
        if (arguments.last() == "-" && !outcome.out.isEmpty())
            written << outcome.out;
        for (const QString& name : QDir(out.path()).entryList(QDir::Files)) {
            QFile file(out.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            written << file.readAll();
        }
        QCOMPARE(written.size(), wrestool.size());
        for (qsizetype i = 0; i < written.size(); ++i) {
            const QStringList what = wrestool[i].split(' ');
            QStringList call{"-x", "-t" + what[0], "--name", what[1], kData + "/" + what[2]};
            if (what.size() > 3)
                call << "--language" << what[3];
            QList<QImage> expected = Pictures(Run("wrestool", call).out);
            if (width)
                expected.removeIf([width](const QImage& picture) { return picture.width() != width; });
            QVERIFY(!expected.isEmpty());
            QCOMPARE(Pictures(written[i]), expected);
        }
    }

    // For every test file, damaged ones and a PNG that doesn't decode among them, the
    // numbers --list gives are the files --extract writes, with or without a choice.
    void listNumbersAreTheFilesWritten_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("choice");
        QTest::newRow("png") << "png" << QStringList{};
        QTest::newRow("ico in Japanese") << "ico" << QStringList{"--language", "1041"};
        QTest::newRow("bmp, icon 1 of each") << "bmp" << QStringList{"--icon", "1"};
        QTest::newRow("cursors") << "cur" << QStringList{};
        QTest::newRow("cursors in Japanese") << "cur" << QStringList{"--language=0x411"};
    }

    void listNumbersAreTheFilesWritten()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, choice);
        QTemporaryDir damaged, out;
        QFile exe(kData + "/icons.exe");
        QVERIFY(exe.open(QIODevice::ReadOnly));
        QByteArray bytes = exe.readAll();
        bytes[bytes.indexOf("IDAT", bytes.lastIndexOf("\x89PNG")) + 40] ^= 0x55; // PNG256's one image: a CRC that fails
        QFile copy(damaged.filePath("badpng.exe"));
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(bytes) == bytes.size());
        copy.close();
        const QStringList sources{"--recursive", kData, damaged.path()};
        const Outcome listed = Run(kProgram, QStringList{"--list", "--json"} + choice + sources);
        QCOMPARE(listed.status, 0);
        QSet<int> numbers;
        for (const QByteArray& line : listed.out.split('\n')) {
            const QJsonObject file = QJsonDocument::fromJson(line).object();
            for (const char* kind : {"icons", "cursors", "animated_cursors"})
                for (const QJsonValue group : file.value(kind).toArray())
                    if (!group["extract_number"].isNull() && (format == "cur") == (kind != QLatin1String("icons")))
                        numbers << group["extract_number"].toInt();
        }
        const Outcome extracted = Run(kProgram, QStringList{"--extract", "--format", format} + choice + sources + QStringList{out.path()});
        QCOMPARE(extracted.status, 0);
        const QStringList written = QDir(out.path()).entryList(QDir::Files);
        QVERIFY(!written.isEmpty());
        QCOMPARE(numbers, Numbers(written));
        QVERIFY(extracted.out.endsWith(QStringLiteral("total: %1\n").arg(written.size()).toUtf8()));
        const Outcome plain = Run(kProgram, {"--list", copy.fileName()});
        QVERIFY2(plain.out.contains("icon 3: name PNG256, language 1033 (unreadable: the image it is drawn from (nearest "
                                    "32x32) is a PNG that doesn't decode)\n"), plain.out.constData());
    }

    // A tree deeper than PATH_MAX, and than the program's stack could recurse, is walked
    // all the way down, by folder descriptors.
    void aTreeDeeperThanAPath()
    {
        QTemporaryDir root;
        QFile dll(kData + "/icons64.dll");
        QVERIFY(dll.open(QIODevice::ReadOnly));
        const QByteArray bytes = dll.readAll();
        const QByteArray level(200, 'd');
        int fd = ::open(QFile::encodeName(root.path()).constData(), O_RDONLY | O_DIRECTORY);
        rlimit files {};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &files) == 0);
        const int levels = int(std::min<rlim_t>(files.rlim_max - 100, 15000)); // one descriptor a level
        for (int depth = 0; depth < levels; ++depth) { // 5000 bytes of path, then short names
            const char* name = depth < 25 ? level.constData() : "d";
            QVERIFY(::mkdirat(fd, name, 0700) == 0);
            const int next = ::openat(fd, name, O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
        }
        const int file = ::openat(fd, "deep.dll", O_WRONLY | O_CREAT, 0600);
        QVERIFY(file >= 0 && ::write(file, bytes.constData(), std::size_t(bytes.size())) == bytes.size());
        ::close(file);
        ::close(fd);
        QTemporaryDir out;
        const Outcome outcome = Run(kProgram, {"--extract", "--recursive", root.path(), out.path()});
        QProcess::execute("rm", {"-rf", root.filePath(level)}); // which a path-based removal can't
        QCOMPARE(outcome.status, 0);
        QVERIFY2(outcome.out.endsWith("/deep.dll: 3\ntotal: 3\n"), outcome.out.constData());
        QVERIFY(outcome.err.isEmpty());
    }

    // On a narrow terminal the progress line is cut to its columns, a Japanese name's
    // characters counted two each: a line that wraps can't be redrawn in place.
    void progressLineFitsTheTerminal()
    {
        QTemporaryDir folder, out;
        const QString name = QStringLiteral("日本語の長いファイル名のアイコン集.exe");
        QVERIFY(QFile::copy(kData + "/icons64.dll", folder.filePath(name)));
        const QString command = QStringLiteral("stty cols 50; '%1' --extract '%2' '%3'").arg(kProgram, folder.path(), out.path());
        QProcess terminal;
        terminal.start("script", {"-qec", command, "/dev/null"});
        QVERIFY(terminal.waitForFinished(20000));
        const QString seen = QString::fromUtf8(terminal.readAllStandardOutput());
        const QStringList drawn = seen.split(QStringLiteral("\x1b[K")).mid(1);
        QVERIFY2(drawn.size() >= 2 && drawn.front().startsWith("1/1 files, 0 written"), qPrintable(seen));
        const QString line = drawn.front().section('\r', 0, 0);
        int columns = 0;
        for (const QChar c : line)
            columns += c.unicode() >= 0x3000 ? 2 : 1; // all the name's characters are wide
        QVERIFY2(columns <= 49 && line.contains(QStringLiteral("日本語の長い")), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
