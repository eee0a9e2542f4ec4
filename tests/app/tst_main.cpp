// The real program's start: what its command line is answered with, on its exit status,
// stdout and stderr, with and without a display, and a folder named on it opened at once;
// the file managers' thumbnailer beside it; and two windows running at once.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>

namespace {
const QString kProgram = QStringLiteral(VISTREL_PROGRAM);
const QString kThumbnailer = QStringLiteral(VISTREL_THUMBNAILER);
const QString kData = QStringLiteral(VISTREL_TEST_DATA);

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

// Runs the program with the display variables set as given ("-" unsets one).
Outcome Run(const QStringList& arguments, const QStringList& display, const QString& program = kProgram)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Qt warns on stderr without a runtime folder; here stderr must hold the program's words alone.
    static const QTemporaryDir runtime;
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    const QStringList names{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    for (int i = 0; i < names.size(); ++i) {
        if (display[i] == "-")
            environment.remove(names[i]);
        else
            environment.insert(names[i], display[i]);
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

const QStringList kNoDisplay{"-", "-", "-"};
const QStringList kOffscreen{"-", "-", "offscreen"};
} // namespace

class TestMain : public QObject {
    Q_OBJECT

private slots:
    void commandLines_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "<out>" stands for a fresh folder
        QTest::addColumn<QStringList>("display");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // what stdout holds; empty: nothing at all
        QTest::addColumn<QString>("err"); // how stderr starts; empty: nothing at all
        const QString usage = QStringLiteral("Usage: vistrel [FOLDER]");
        const QString noDisplay = QStringLiteral("vistrel: the window needs a display");
        QTest::newRow("--help names the folder") << QStringList{"--help"} << kNoDisplay << 0 << usage << "";
        const QString unknown = QStringLiteral("vistrel: unknown option --bogus\n") + usage;
        QTest::newRow("unknown option") << QStringList{"--bogus"} << kOffscreen << 2 << "" << unknown;
        QTest::newRow("unknown option, no display") << QStringList{"--bogus"} << kNoDisplay << 2 << "" << unknown;
        QTest::newRow("unknown option after a folder") << QStringList{kData, "--bogus"} << kOffscreen << 2 << "" << unknown;
        const QString bogus = QStringLiteral("vistrel: unknown option -bogus\n") + usage;
        QTest::newRow("option that Qt does not take") << QStringList{"-bogus"} << kOffscreen << 2 << "" << bogus;
        QTest::newRow("option that Qt does not take, no display") << QStringList{"-bogus"} << kNoDisplay << 2 << "" << bogus;
        QTest::newRow("Qt's option without its value") << QStringList{kData, "-style"} << kNoDisplay << 2 << ""
                                                       << "vistrel: -style needs a value";
        QTest::newRow("two folders") << QStringList{kData, kData} << kOffscreen << 2 << ""
                                     << "vistrel: one folder only, not also " + kData + "\n" + usage;
        QTest::newRow("no display") << QStringList{} << kNoDisplay << 2 << "" << noDisplay;
        QTest::newRow("no display, a folder") << QStringList{kData} << kNoDisplay << 2 << "" << noDisplay;
        QTest::newRow("X asked for, none there") << QStringList{} << QStringList{"", "-", "xcb"} << 2 << "" << noDisplay;
        QTest::newRow("Wayland asked for, none there")
            << QStringList{} << QStringList{"-", "", "wayland;xcb"} << 2 << "" << noDisplay;
        // Named, but no server there: Qt would abort with its own words and status 134.
        QTest::newRow("no X server") << QStringList{} << QStringList{":97", "-", "-"} << 2 << "" << noDisplay;
        QTest::newRow("no compositor") << QStringList{} << QStringList{"-", "vistrel-none", "wayland"} << 2 << "" << noDisplay;
        QTest::newRow("neither") << QStringList{kData} << QStringList{":97", "vistrel-none", "wayland;xcb"} << 2 << ""
                                 << noDisplay;
        QTest::newRow("--extract needs no display")
            << QStringList{"--extract", kData, "<out>"} << kNoDisplay << 0 << "total: 11" << "";
        QTest::newRow("--extract names a format it doesn't know")
            << QStringList{"--extract", "--format", "PNG", kData, "<out>"} << kNoDisplay << 2 << ""
            << "vistrel: unknown format PNG (bmp, png or ico)\nUsage: vistrel [FOLDER]";
    }

    void commandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, display);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir output;
        arguments.replaceInStrings("<out>", output.path());
        const Outcome outcome = Run(arguments, display);
        QCOMPARE(outcome.status, status);
        QVERIFY2(out.isEmpty() ? outcome.out.isEmpty() : outcome.out.contains(out), qPrintable(outcome.out));
        QVERIFY2(err.isEmpty() ? outcome.err.isEmpty() : outcome.err.startsWith(err), qPrintable(outcome.err));
        if (err.contains("display")) { // one line that also points to what works without one
            QCOMPARE(outcome.err.count('\n'), 1);
            QVERIFY(outcome.err.contains("--extract"));
        }
    }

    // The window opens a folder named relative to the working folder as soon as it is up:
    // its temporary bitmaps appear beside a copy of the program, before anyone touches it.
    void aFolderOnTheCommandLineIsOpenedAtOnce()
    {
        QTemporaryDir programFolder;
        const QString program = programFolder.filePath("vistrel");
        QVERIFY(QFile::copy(kProgram, program));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(kData + "/..");
        process.start(program, {"data/."});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(programFolder.filePath("Temp00001.bmp")); }, 20000));
        QCOMPARE(process.state(), QProcess::Running);
        process.kill();
        process.waitForFinished();
    }

    void aSessionEndCleansUpAsExitDoes_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("situation");
        QTest::newRow("SIGTERM, a page shown") << int(SIGTERM) << "page";
        QTest::newRow("SIGHUP, a scan running") << int(SIGHUP) << "scan";
        QTest::newRow("SIGINT, a message box open") << int(SIGINT) << "box";
        QTest::newRow("SIGTERM, settings that can't be written") << int(SIGTERM) << "unwritable";
    }

    // A signal ends the window as 終了 does, whatever runs: the settings saved (or a line on
    // stderr), the bitmaps deleted, status 0.
    void aSessionEndCleansUpAsExitDoes()
    {
        QFETCH(int, signal);
        QFETCH(QString, situation);
        QTemporaryDir programFolder, many;
        const QString program = programFolder.filePath("vistrel");
        QVERIFY(QFile::copy(kProgram, program));
        QString folder = kData;
        if (situation == "scan") {
            for (int n = 0; n < 300; ++n)
                QVERIFY(QFile::copy(kData + "/icons.exe", many.filePath(QString("i%1.exe").arg(n))));
            folder = many.path();
        } else if (situation == "box") {
            folder = kData + "/missing";
        } else if (situation == "unwritable") {
            QVERIFY(QDir().mkdir(programFolder.filePath("Vistrel.ini")));
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, {folder});
        QVERIFY(process.waitForStarted());
        if (situation == "box")
            QTest::qWait(1500);
        else
            QVERIFY(QTest::qWaitFor([&] { return QFile::exists(programFolder.filePath("Temp00002.bmp")); }, 20000));
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QDir(programFolder.path()).entryList({"Temp*"}), QStringList());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        if (situation == "unwritable") {
            QVERIFY2(err.contains("vistrel: the window's settings were not saved: "), qPrintable(err));
        } else {
            QFile settings(programFolder.filePath("Vistrel.ini"));
            QVERIFY(settings.open(QIODevice::ReadOnly));
            QVERIFY(settings.readAll().contains("[MainForm]"));
        }
    }

    // File managers start the thumbnailer once per file: it loads no GUI library, and it
    // writes what vistrel --thumbnail writes, the same code behind both.
    void thumbnailerNeedsNoToolkit()
    {
        QProcess ldd;
        ldd.start("ldd", {kThumbnailer});
        QVERIFY(ldd.waitForFinished());
        const QString libraries = QString::fromUtf8(ldd.readAllStandardOutput());
        QVERIFY2(libraries.contains("libpng"), qPrintable(libraries));
        for (const char* gui : {"libQt", "libX11", "libxcb", "libGL", "libEGL", "libcups", "libglib", "libfontconfig"})
            QVERIFY2(!libraries.contains(gui), qPrintable(libraries));

        QTemporaryDir output;
        const QString icons = kData + "/icons64.dll";
        const Outcome alone = Run({"-s", "48", icons, output.filePath("alone.png")}, kNoDisplay, kThumbnailer);
        const Outcome viaVistrel = Run({"--thumbnail", "-s", "48", icons, output.filePath("vistrel.png")}, kNoDisplay);
        QCOMPARE(alone.status, 0);
        QCOMPARE(viaVistrel.status, 0);
        QFile a(output.filePath("alone.png")), b(output.filePath("vistrel.png"));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        const QByteArray picture = a.readAll();
        QVERIFY(picture.startsWith("\x89PNG"));
        QCOMPARE(picture, b.readAll());
        const Outcome usage = Run({"-s"}, kNoDisplay, kThumbnailer);
        QCOMPARE(usage.status, 2);
        QVERIFY2(usage.err.startsWith("Usage: vistrel-thumbnailer [-s SIZE] INPUT OUTPUT"), qPrintable(usage.err));
    }

    // Names as archives from other systems leave them, not UTF-8: their icons are
    // written all the same, and each line names the file whole, on one line.
    void extractTakesEveryName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("line");
        QTest::newRow("Shift_JIS") << QByteArray("\x83\x41\x83\x43\x83\x52\x83\x93.exe") << "アイコン.exe: 8";
        QTest::newRow("Latin-1") << QByteArray("caf\xe9.exe") << "caf\\xE9.exe: 8";
        QTest::newRow("a newline") << QByteArray("two\nlines.exe") << "two\\x0Alines.exe: 8";
        QTest::newRow("an escape sequence") << QByteArray("\x1b[2Jclear.exe") << "\\x1B[2Jclear.exe: 8";
    }

    void extractTakesEveryName()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, line);
        QTemporaryDir folder;
        QTemporaryDir output;
        const std::string path = (QFile::encodeName(folder.path()) + '/' + name).toStdString();
        std::filesystem::copy_file((kData + "/icons.exe").toStdString(), path);
        const Outcome outcome = Run({"--extract", folder.path(), output.path()}, kNoDisplay);
        QCOMPARE(outcome.status, 0);
        QCOMPARE(outcome.out, line + "\ntotal: 8\n");
        QCOMPARE(QDir(output.path()).entryList(QDir::Files).size(), 8);
    }

    // Two windows at once: the second's bitmaps go to a folder of its own and the first's stay
    // as its scan wrote them; what killed windows leave, the next one to start clears.
    void windowsRunningTogetherKeepTheirBitmapsApart()
    {
        QTemporaryDir programFolder, runtime, other, extracted;
        const QString program = programFolder.filePath("vistrel"), shared = programFolder.path() + "/";
        QVERIFY(QFile::copy(kProgram, program) && QFile::copy(kData + "/icons64.dll", other.filePath("icons64.dll")));
        QCOMPARE(Run({"--extract", kData, extracted.path()}, kNoDisplay).status, 0);
        const auto read = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const auto firstsIntact = [&] { // what --extract wrote for the first window's folder
            const QStringList icons = QDir(extracted.path()).entryList(QDir::Files);
            for (int n = 1; n <= icons.size(); ++n)
                if (read(shared + QString::asprintf("Temp%05d.bmp", n)) != read(extracted.filePath(icons[n - 1])))
                    return false;
            return !icons.isEmpty();
        };
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        QProcess windows[3];
        QString own[3];
        const auto start = [&](int n, const QStringList& folder) {
            windows[n].setProcessEnvironment(environment);
            windows[n].start(program, folder);
            own[n] = runtime.filePath(QString("vistrel-%1/").arg(windows[n].waitForStarted() ? windows[n].processId() : 0));
        };

        start(0, {kData});
        QVERIFY(QTest::qWaitFor(firstsIntact, 20000));
        start(1, {other.path()});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(own[1] + "Temp00003.bmp"); }, 20000)); // its last icon
        QVERIFY(firstsIntact());
        for (QProcess& window : windows) {
            window.kill();
            window.waitForFinished();
        }
        start(2, {});
        QVERIFY(QTest::qWaitFor([&] { return !QFile::exists(shared + "Temp00001.bmp") && !QFileInfo::exists(own[1]); }, 20000));
        QVERIFY(!QFileInfo::exists(own[2]));
        windows[2].kill();
        windows[2].waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestMain)
#include "tst_main.moc"
