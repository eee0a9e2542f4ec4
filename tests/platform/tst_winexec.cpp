// Command lines split the Windows way, and a program really started from one.
#include "platform/winexec.h"

#include "argumentrecorder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestWinExec : public QObject {
    Q_OBJECT

private slots:
    void arguments_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("quotes group") << "\"a b c\" d e" << QStringList{"a b c", "d", "e"};
        QTest::newRow("escaped quote, lone backslash") << "\"ab\\\"c\" \"\\\\\" d" << QStringList{"ab\"c", "\\", "d"};
        QTest::newRow("backslashes literal before others") << "a\\\\\\b d\"e f\"g h" << QStringList{"a\\\\\\b", "de fg", "h"};
        QTest::newRow("odd backslashes before a quote") << "a\\\\\\\"b c d" << QStringList{"a\\\"b", "c", "d"};
        QTest::newRow("even backslashes before a quote") << "a\\\\\\\\\"b c\" d e" << QStringList{"a\\\\b c", "d", "e"};
        QTest::newRow("doubled quote inside quotes") << "a\"b\"\" c d" << QStringList{"ab\" c d"};
        QTest::newRow("unclosed quote runs to the end") << "\"a b" << QStringList{"a b"};
        QTest::newRow("empty quotes give an empty argument") << "x \"\" y" << QStringList{"x", "", "y"};
        QTest::newRow("tabs and runs of blanks") << "  a\t\tb  " << QStringList{"a", "b"};
        QTest::newRow("nothing") << "   " << QStringList{};
    }

    void arguments()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, arguments);
        QCOMPARE(SplitArguments(text), arguments);
    }

    void program_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("executables");
        QTest::addColumn<QString>("program"); // "<none>" when there is nothing to start
        QTest::addColumn<QStringList>("arguments");
        const QString file = "\"/home/u/vistrel/Temp00000.bmp\"";
        QTest::newRow("default paint path, unquoted with blanks")
            << "C:\\Program Files\\Accessories\\MSPAINT.EXE " + file
            << QStringList{"C:\\Program Files\\Accessories\\MSPAINT.EXE"}
            << "C:\\Program Files\\Accessories\\MSPAINT.EXE" << QStringList{"/home/u/vistrel/Temp00000.bmp"};
        QTest::newRow("default paint path where it does not exist")
            << "C:\\Program Files\\Accessories\\MSPAINT.EXE " + file << QStringList{} << "<none>" << QStringList{};
        QTest::newRow("linux path with a blank")
            << "/opt/My Paint/paint " + file << QStringList{"/opt/My Paint/paint"} << "/opt/My Paint/paint"
            << QStringList{"/home/u/vistrel/Temp00000.bmp"};
        QTest::newRow("shortest prefix wins")
            << "/opt/My Paint/paint " + file << QStringList{"/opt/My", "/opt/My Paint/paint"} << "/opt/My"
            << QStringList{"Paint/paint", "/home/u/vistrel/Temp00000.bmp"};
        QTest::newRow("quoted program") << "\"/opt/My Paint/paint\" a \"b c\"" << QStringList{}
                                        << "/opt/My Paint/paint" << QStringList{"a", "b c"};
        QTest::newRow("empty paint path: the bitmap itself is the program")
            << " " + file << QStringList{} << "/home/u/vistrel/Temp00000.bmp" << QStringList{};
        QTest::newRow("only quotes") << "\"\"\"\"" << QStringList{} << "<none>" << QStringList{};
        QTest::newRow("empty") << "" << QStringList{} << "<none>" << QStringList{};
    }

    void program()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, executables);
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QStringList tried;
        const std::optional<CommandLine> command = SplitCommandLine(line, [&](const QString& candidate) {
            tried << candidate;
            return executables.contains(candidate);
        });
        if (program == "<none>") {
            QVERIFY(!command);
            return;
        }
        QVERIFY(command);
        QCOMPARE(command->program, program);
        QCOMPARE(command->arguments, arguments);
    }

    void startsAProgramWithoutAShell()
    {
        ArgumentRecorder recorder;
        const QString script = recorder.Program();

        // $HOME and ; would mean something to a shell; here they are plain characters.
        QVERIFY(WinExec(script + " \"a b\" $HOME;x"));
        QCOMPARE(recorder.Received(), QByteArray("a b\n$HOME;x\n"));

        QVERIFY(!WinExec(QFileInfo(script).path() + "/missing x"));
        QVERIFY(!WinExec(QFileInfo(script).path())); // a directory is no program
        QVERIFY(!WinExec(QString()));

        // Windows' paint program stands for the desktop's: xdg-open, found on PATH or not.
        QTemporaryDir bin;
        QVERIFY(QFile::link(script, bin.filePath("xdg-open")));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
        QFile::remove(recorder.ReceivedFile());
        QVERIFY(WinExec("c:\\program files\\accessories\\mspaint.exe \"/a b/Temp00000.bmp\""));
        QCOMPARE(recorder.Received(), QByteArray("/a b/Temp00000.bmp\n"));
        qputenv("PATH", QFile::encodeName(bin.filePath("none")));
        QVERIFY(!WinExec(kWindowsPaintProgram + " x"));
        qputenv("PATH", path);
    }
};

QTEST_GUILESS_MAIN(TestWinExec)
#include "tst_winexec.moc"
