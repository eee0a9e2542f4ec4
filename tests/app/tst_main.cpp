// The real program's start: what its command line is answered with, on its exit status,
// stdout and stderr, with and without a display, and a folder named on it opened at once;
// the file managers' thumbnailer beside it; and two windows running at once.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const QString kProgram = QStringLiteral(VISTREL_PROGRAM);
const QString kThumbnailer = QStringLiteral(VISTREL_THUMBNAILER);
const QString kData = QStringLiteral(VISTREL_TEST_DATA);

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

// Takes every connection on a Unix socket at path and hangs up: a Wayland display that is
// no compositor.
struct HangUpSocket {
    explicit HangUpSocket(const QString& path)
    {
        sockaddr_un address{AF_UNIX, {}};
        std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path - 1);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0)
            qFatal("no socket at %s", qPrintable(path));
        accepting = std::jthread([fd = fd] { for (int peer; (peer = ::accept(fd, nullptr, nullptr)) >= 0;) ::close(peer); });
    }
    ~HangUpSocket()
    {
        ::shutdown(fd, SHUT_RDWR); // wakes the accept
        accepting.join();
        ::close(fd);
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::jthread accepting;
};

// Runs the program with the display variables set as given ("-" unsets one), then
// XDG_RUNTIME_DIR and POSIXLY_CORRECT if given.
Outcome Run(const QStringList& arguments, const QStringList& display, const QString& program = kProgram)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Qt warns on stderr without a runtime folder; here stderr must hold the program's words alone.
    static const QTemporaryDir runtime;
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    const QStringList names{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR", "POSIXLY_CORRECT"};
    for (int i = 0; i < std::min(names.size(), display.size()); ++i) {
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
        // libwayland would say why first; and Qt, for a socket that hangs up, "The Wayland
        // connection broke" with status 1.
        QTest::newRow("Wayland without a runtime folder")
            << QStringList{} << QStringList{"-", "vistrel-none", "wayland", "-"} << 2 << "" << noDisplay;
        QTest::newRow("a Wayland socket that is no compositor")
            << QStringList{} << QStringList{"-", "hangup", "wayland", "<runtime>"} << 2 << "" << noDisplay;
        QTest::newRow("--extract needs no display")
            << QStringList{"--extract", kData, "<out>"} << kNoDisplay << 0 << "total: 11" << "";
        QTest::newRow("--extract names a format it doesn't know")
            << QStringList{"--extract", "--format", "PNG", kData, "<out>"} << kNoDisplay << 2 << ""
            << "vistrel: unknown format PNG (bmp, png, ico or cur)\nUsage: vistrel [FOLDER]";
        // The resource tools: a file or a folder, a tree, cursors, a listing; options in any order.
        const QString cursors = kData + "/cursors";
        QTest::newRow("--extract of one file")
            << QStringList{"--extract", kData + "/icons64.dll", "<out>"} << kNoDisplay << 0
            << kData + "/icons64.dll: 3\ntotal: 3\n" << "";
        QTest::newRow("--extract --recursive walks the tree, SUB/FILE")
            << QStringList{"--extract", "--recursive", kData, "<out>"} << kNoDisplay << 0
            << "notes.exe: 0\ncursors/cursors.exe: 1\n" << "";
        QTest::newRow("--extract of cursors, options in any order")
            << QStringList{"--extract", "--recursive", "--format", "cur", cursors, "<out>"} << kNoDisplay << 0
            << "cursors.exe: 5\ncursors64.dll: 5\nold-cursors.exe: 2\ntotal: 12\n" << "";
        QTest::newRow("--extract of a file without icons") << QStringList{"--extract", kData + "/notes.exe", "<out>"}
                                                          << kNoDisplay << 1 << "the exe and dll files hold no icon" << "";
        QTest::newRow("--extract without OUTDIR") << QStringList{"--extract", kData} << kNoDisplay << 2 << ""
                                                  << "vistrel: --extract needs a folder to write to after " + kData;
        QTest::newRow("--list of a file") << QStringList{"--list", cursors + "/cursors.exe"} << kNoDisplay << 0
                                          << "  cursor 2: name 2, language 1033 1041, written as Cursor00003\n    language 1033 (taken without --language):\n"
                                             "      32x32 4-bit BMP 744 bytes, hotspot 16,16\n    language 1041:\n      32x32 1-bit BMP 304 bytes"
                                          << "";
        QTest::newRow("--list of a damaged file says why") << QStringList{"--list", kData + "/damaged/text.exe"} << kNoDisplay
                                                           << 0 << "nothing to take: not a Windows executable" << "";
        QTest::newRow("--list --json, a line per file")
            << QStringList{"--list", "--json", kData + "/notes.exe"} << kNoDisplay << 0
            << R"("format":"PE32+","icons":[],"problem":"no-icons-or-cursors","shown_icon":null})" << "";
        // A System32 folder laid out as Windows 10 and 11 lay it out, and every kind of icon file.
        const QString system = kData + "/windows/Windows";
        QTest::newRow("--extract of System32: the .mun's icons for files without their own")
            << QStringList{"--extract", system + "/System32", "<out>"} << kNoDisplay << 0
            << "lonely.dll: 0\nnotepad.exe: 1\nowner.dll: 1\nshell32.dll: 2\ntotal: 4\n" << "";
        QTest::newRow("--list says where they come from")
            << QStringList{"--list", system + "/System32/shell32.dll"} << kNoDisplay << 0
            << system + "/System32/shell32.dll: PE32+, icons from " + system + "/SystemResources/shell32.dll.mun, 2 icons, 1 cursors" << "";
        QTest::newRow("--list --json gives it as text and bytes")
            << QStringList{"--list", "--json", system + "/SysWOW64/wow.dll"} << kNoDisplay << 0
            << "\"icons_from\":\"" + system + "/SystemResources/wow.dll.mun\",\"icons_from_bytes\":\""
                   + QFile::encodeName(system + "/SystemResources/wow.dll.mun").toHex() + "\"" << "";
        QTest::newRow("--extract of a folder takes what Open takes")
            << QStringList{"--extract", kData + "/kinds", "<out>"} << kNoDisplay << 0 << "tool.exe: 1\ntotal: 1\n" << "";
        QTest::newRow("--all-kinds takes cpl, ocx, scr, mun and icl files, NE icon libraries too")
            << QStringList{"--extract", "--all-kinds", kData + "/kinds", "<out>"} << kNoDisplay << 0
            << "control.OCX: 1\nlibrary.icl: 3\nold.icl: 120\npanel.cpl: 1\nres.mun: 1\nsaver.scr: 1\ntool.exe: 1\ntotal: 128\n" << "";
        // The conventions people type, and failures told with the system's reason.
        QTest::newRow("--format=png, options after the sources")
            << QStringList{"--extract", kData + "/icons64.dll", "<out>", "--format=png"} << kNoDisplay << 0 << "total: 3" << "";
        QTest::newRow("options after the sources, POSIXLY_CORRECT set")
            << QStringList{"--list", kData + "/icons64.dll", "--json"} << (kNoDisplay + QStringList{"<runtime>", "1"}) << 0
            << "{\"animated_cursors\":[]" << "";
        QTest::newRow("-- ends the options") << QStringList{"--extract", "--", "--icon", "<out>"} << kNoDisplay << 2 << ""
                                             << "vistrel: --icon is not a file or a folder";
        QTest::newRow("a read-only OUTDIR") << QStringList{"--extract", kData + "/icons64.dll", "/proc"} << kNoDisplay << 2
                                            << "total: 0" << "vistrel: /proc/Icon00001.bmp can't be written: Permission denied";
        QTest::newRow("--size needs png") << QStringList{"--extract", "--size", "48", kData, "-"} << kNoDisplay << 2 << ""
                                          << "vistrel: --size chooses a PNG image: it needs --format png";
        QTest::newRow("a negative --icon") << QStringList{"--list", "--icon", "-1", kData} << kNoDisplay << 2 << ""
                                           << "vistrel: --icon takes an index from 0 (use --name";
        QTest::newRow("--list of what is not there") << QStringList{"--list", kData + "/missing"} << kNoDisplay << 2 << ""
                                                     << "vistrel: " + kData + "/missing is not a file or a folder";
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
        QTemporaryDir runtime;
        std::optional<HangUpSocket> hangUp;
        if (display.size() > 3 && display[3] == "<runtime>")
            hangUp.emplace(runtime.filePath(display[1]));
        display.replaceInStrings("<runtime>", runtime.path());
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

    // File managers start the thumbnailer once per file: it loads libc, zlib, libm and
    // libpng, the icon core's, and no GUI library, and it
    // writes what vistrel --thumbnail writes, the same code behind both.
    void thumbnailerNeedsNoToolkit()
    {
        // Nor does vistrel's front, which a launcher starts once per program for its icon.
        for (const QString& program : {kThumbnailer, kProgram}) {
            QProcess ldd;
            ldd.start("ldd", {program});
            QVERIFY(ldd.waitForFinished());
            const QString libraries = QString::fromUtf8(ldd.readAllStandardOutput());
            for (const char* needed : {"libc.so", "libz.so", "libm.so", "libpng16.so"})
                QVERIFY2(libraries.contains(needed), qPrintable(libraries));
            for (const char* gui : {"libQt", "libX11", "libxcb", "libGL", "libEGL", "libcups", "libglib", "libfontconfig"})
                QVERIFY2(!libraries.contains(gui), qPrintable(libraries));
        }

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
        // A System32 file without icons, thumbnailed from its .mun opened before the sandbox.
        const QString windows = kData + "/windows/Windows/";
        for (const QString& file : {windows + "System32/shell32.dll", windows + "SystemResources/shell32.dll.mun"})
            QCOMPARE(Run({"-s", "48", file, output.filePath(QFileInfo(file).fileName() + ".png")}, kNoDisplay, kThumbnailer).status, 0);
        QFile redirected(output.filePath("shell32.dll.png")), mun(output.filePath("shell32.dll.mun.png"));
        QVERIFY(redirected.open(QIODevice::ReadOnly) && mun.open(QIODevice::ReadOnly));
        QCOMPARE(redirected.readAll(), mun.readAll());
        const Outcome usage = Run({"-s"}, kNoDisplay, kThumbnailer);
        QCOMPARE(usage.status, 2);
        QVERIFY2(usage.err.startsWith("Usage: vistrel-thumbnailer [-s SIZE] INPUT OUTPUT"), qPrintable(usage.err));
    }

    // A tree: a folder's files, then its folders, each in the listing's order; a link to a
    // folder and a hidden folder are not walked; Ctrl+C stops after whole files.
    void extractWalksATree()
    {
        QTemporaryDir root;
        const QString dll = kData + "/icons64.dll";
        for (const char* folder : {"A/B", "z", ".hidden"})
            QVERIFY(QDir(root.path()).mkpath(folder));
        for (const char* file : {"b.exe", "A/x.dll", "A/B/y.exe", "z/w.exe", ".hidden/h.exe"})
            QVERIFY(QFile::copy(dll, root.filePath(file)));
        QVERIFY(QFile::link(root.filePath("A"), root.filePath("link")));
        QTemporaryDir output;
        const Outcome outcome = Run({"--extract", "--recursive", root.path(), output.path()}, kNoDisplay);
        QCOMPARE(outcome.status, 0);
        QCOMPARE(outcome.out, "b.exe: 3\nA/x.dll: 3\nA/B/y.exe: 3\nz/w.exe: 3\ntotal: 12\n");

        // On a terminal a progress line is redrawn on stderr; in a pipe (above) there is none.
        const QString command = QStringLiteral("'%1' --extract --recursive '%2' '%3'").arg(kProgram, root.path(), output.filePath("tty"));
        QProcess terminal;
        terminal.start("script", {"-qec", command, "/dev/null"});
        QVERIFY(terminal.waitForFinished(20000));
        const QByteArray seen = terminal.readAllStandardOutput();
        QVERIFY2(seen.contains("\x1b[K1/4 files, 0 written") && seen.contains("total: 12"), seen.constData());
        QVERIFY(outcome.err.isEmpty());

        // Ctrl+C, SIGTERM, SIGHUP: the files written so far are whole, the total says so,
        // nothing hidden is left, and the status is the shell's for the signal.
        QTemporaryDir many;
        for (int i = 0; i < 3000; ++i)
            QVERIFY(QFile::link(dll, many.filePath(QStringLiteral("f%1.dll").arg(i))));
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            QProcess stopped;
            const QString into = output.filePath(QStringLiteral("stopped%1").arg(signal));
            stopped.start(kProgram, {"--extract", many.path(), into});
            QVERIFY(stopped.waitForReadyRead(20000));
            ::kill(pid_t(stopped.processId()), signal);
            QVERIFY(stopped.waitForFinished(20000));
            QCOMPARE(stopped.exitCode(), 128 + signal);
            const QString said = QString::fromUtf8(stopped.readAllStandardOutput());
            const QStringList written = QDir(into).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            QVERIFY2(said.endsWith(QStringLiteral("total: %1 (stopped)\n").arg(written.size())), qPrintable(said));
            QVERIFY(written.size() < 9000);
            for (const QString& name : written)
                QCOMPARE(QFileInfo(into + "/" + name).size(), QFileInfo(output.filePath("tty/Icon00001.bmp")).size());
        }
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
