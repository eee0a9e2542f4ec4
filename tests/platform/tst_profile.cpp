// Profile files: lookup rules, edits that keep the rest of the file, and writes that
// never damage it.
#include "platform/profile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

mode_t ModeOf(const QString& path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}
} // namespace

class TestProfile : public QObject {
    Q_OBJECT

private slots:
    void lookupRules_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected"); // "<absent>" for no value

        const QByteArray file = "[MainForm]\nTop=12\n  left =  34  \nPath=C:\\Program Files\\Accessories\\MSPAINT.EXE\n"
                                "Empty=\nQuoted=\"a b\"\n[Other]\nTop=99\n";
        QTest::newRow("plain") << file << "MainForm" << "Top" << "12";
        QTest::newRow("names ignore case") << file << "mainform" << "TOP" << "12";
        QTest::newRow("blanks trimmed") << file << "MainForm" << "Left" << "34";
        QTest::newRow("backslashes literal") << file << "MainForm" << "Path"
                                             << "C:\\Program Files\\Accessories\\MSPAINT.EXE";
        QTest::newRow("empty value") << file << "MainForm" << "Empty" << "";
        QTest::newRow("quotes stripped") << file << "MainForm" << "Quoted" << "a b";
        QTest::newRow("other section") << file << "Other" << "top" << "99";
        QTest::newRow("missing key") << file << "MainForm" << "Width" << "<absent>";
        QTest::newRow("missing section") << file << "Nowhere" << "Top" << "<absent>";
        QTest::newRow("key outside any section") << QByteArray("Top=1\n[MainForm]\n") << "MainForm" << "Top"
                                                 << "<absent>";
        QTest::newRow("first section of a name wins")
            << QByteArray("[A]\nk=1\n[B]\n[a]\nk=2\nx=3\n") << "A" << "x" << "<absent>";
        QTest::newRow("first key of a name wins") << QByteArray("[A]\nk=1\nK=2\n") << "A" << "k" << "1";
        QTest::newRow("crlf") << QByteArray("[A]\r\nk=1\r\n") << "A" << "k" << "1";
        QTest::newRow("comment is no key") << QByteArray("[A]\n;k=1\n") << "A" << ";k" << "<absent>";
        QTest::newRow("garbage lines around")
            << QByteArray("\x01\xff garbage\n=novalue\n[A\nk=5\n]]]\n") << "A" << "k" << "5";
        QTest::newRow("utf-8 value") << QByteArray("[A]\nk=ペイント\n") << "A" << "k" << "ペイント";
        QTest::newRow("quoted line longer than is parsed")
            << "[A]\nk=\"" + QByteArray(200000, 'x') + "\"  \n" << "A" << "k" << QString(kProfileValueMax, QLatin1Char('x'));
    }

    void lookupRules()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const std::optional<QString> value = ProfileValue(content, section, key);
        QCOMPARE(value.value_or(QStringLiteral("<absent>")), expected);
    }

    void longValueIsCutAt2047Characters()
    {
        const QString value(5000, QLatin1Char('x'));
        const QByteArray content = "[A]\nk=" + value.toUtf8() + "\n";
        QCOMPARE(ProfileValue(content, "A", "k")->size(), kProfileValueMax);
        // A cut never leaves half of a character that needs two UTF-16 units.
        const QString emoji = QString(2046, QLatin1Char('y')) + QString::fromUtf8("😀😀");
        QCOMPARE(*ProfileValue("[A]\nk=" + emoji.toUtf8() + "\n", "A", "k"), QString(2046, QLatin1Char('y')));
    }

    void editsKeepEveryOtherLine_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("new file") << QByteArray() << QByteArray("[MainForm]\nTop=5\n");
        QTest::newRow("replace, other lines kept")
            << QByteArray("; mine\n[Other]\nx=1\n[mainform]\nfoo=bar\n  TOP = 1 \nPath=C:\\a\\b\n")
            << QByteArray("; mine\n[Other]\nx=1\n[mainform]\nfoo=bar\nTOP=5\nPath=C:\\a\\b\n");
        QTest::newRow("added after the section's last line")
            << QByteArray("[MainForm]\nLeft=1\n\n[Other]\nx=1\n")
            << QByteArray("[MainForm]\nLeft=1\nTop=5\n\n[Other]\nx=1\n");
        QTest::newRow("section appended")
            << QByteArray("[Other]\nx=1") << QByteArray("[Other]\nx=1\n[MainForm]\nTop=5\n");
        QTest::newRow("crlf kept") << QByteArray("[MainForm]\r\nTop=1\r\nLeft=2\r\n")
                                   << QByteArray("[MainForm]\r\nTop=5\r\nLeft=2\r\n");
        QTest::newRow("crlf key added") << QByteArray("[MainForm]\r\nLeft=2\r\n")
                                        << QByteArray("[MainForm]\r\nLeft=2\r\nTop=5\r\n");
        QTest::newRow("last line without a break, replaced") << QByteArray("[MainForm]\nx=1\nTop=1")
                                                             << QByteArray("[MainForm]\nx=1\nTop=5\n");
        QTest::newRow("added after a last line without a break") << QByteArray("[MainForm]\r\nLeft=2")
                                                                 << QByteArray("[MainForm]\r\nLeft=2\r\nTop=5\r\n");
        const QByteArray longLine = "[MainForm]\nPath=" + QByteArray(200000, 'p') + "\n";
        QTest::newRow("a line longer than is parsed, kept") << longLine + "top=1\n" << longLine + "top=5\n";
    }

    void editsKeepEveryOtherLine()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QCOMPARE(ProfileWithValue(before, "MainForm", "Top", "5"), after);
    }

    void writeCreatesAndReplaces()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Vistrel.ini");
        QVERIFY(!ReadProfileString(path, "MainForm", "Top"));
        QVERIFY(WriteProfileString(path, "MainForm", "Top", "107"));
        QVERIFY(WriteProfileString(path, "MainForm", "Left", "200"));
        QVERIFY(WriteProfileString(path, "MainForm", "top", "3"));
        QCOMPARE(ReadAll(path), QByteArray("[MainForm]\nTop=3\nLeft=200\n"));
        QCOMPARE(*ReadProfileString(path, "MAINFORM", "TOP"), QStringLiteral("3"));
    }

    void writeKeepsPermissionsAndLinks()
    {
        QTemporaryDir dir;
        const QString real = dir.filePath("real.ini");
        const QString link = dir.filePath("Vistrel.ini");
        WriteAll(real, "[MainForm]\nTop=1\n");
        QVERIFY(QFile::setPermissions(real, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        QVERIFY(QFile::link(real, link));
        QVERIFY(WriteProfileString(link, "MainForm", "Top", "2"));
        QCOMPARE(ModeOf(real), mode_t(0640));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadAll(real), QByteArray("[MainForm]\nTop=2\n"));
    }

    void refusedWritesLeaveEverythingAsItWas()
    {
        QTemporaryDir dir;
        // A read-only file: refused whoever runs the program, not a byte changed.
        const QString readOnly = dir.filePath("readonly.ini");
        const QByteArray original = "[MainForm]\r\nTop=1\r\n; note\r\n";
        WriteAll(readOnly, original);
        QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        QVERIFY(!WriteProfileString(readOnly, "MainForm", "Top", "2"));
        QCOMPARE(ReadAll(readOnly), original);
        QCOMPARE(ModeOf(readOnly), mode_t(0440));

        // A directory in the file's place: reads find nothing, writes are refused.
        const QString directory = dir.filePath("dir.ini");
        QVERIFY(QDir().mkdir(directory));
        QVERIFY(!ReadProfileString(directory, "MainForm", "Top"));
        QVERIFY(!WriteProfileString(directory, "MainForm", "Top", "2"));
        QVERIFY(QFileInfo(directory).isDir());

        // A FIFO in its place: absent, and never written, without waiting for its other end.
        const QString fifo = dir.filePath("fifo.ini");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!ReadProfileString(fifo, "MainForm", "Top") && !WriteProfileString(fifo, "MainForm", "Top", "2"));

        // A missing folder, and a folder without write permission.
        QVERIFY(!WriteProfileString(dir.filePath("missing/Vistrel.ini"), "MainForm", "Top", "2"));
        const QString locked = dir.filePath("locked");
        QVERIFY(QDir().mkdir(locked));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QVERIFY(!WriteProfileString(locked + "/Vistrel.ini", "MainForm", "Top", "2"));
        QVERIFY(QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }

    // In a sticky folder anyone may write (/tmp), a link someone else planted is not
    // followed: it would let them point the settings at any file of the user's.
    void anothersLinkInASharedFolderIsRefused()
    {
        if (::geteuid() != 0)
            QSKIP("giving a link to another user needs root");
        QTemporaryDir dir;
        const QString shared = dir.filePath("shared");
        QVERIFY(QDir().mkdir(shared));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        const QString victim = dir.filePath("victim.ini");
        WriteAll(victim, "[MainForm]\nTop=1\n");
        const QString link = shared + "/Vistrel.ini";
        QVERIFY(QFile::link(victim, link));
        QCOMPARE(::lchown(QFile::encodeName(link).constData(), 65534, 65534), 0);
        QVERIFY(!WriteProfileString(link, "MainForm", "Top", "2"));
        QCOMPARE(ReadAll(victim), QByteArray("[MainForm]\nTop=1\n"));
        QCOMPARE(::lchown(QFile::encodeName(link).constData(), 0, 0), 0); // the user's own is followed
        QVERIFY(WriteProfileString(link, "MainForm", "Top", "2"));
        QCOMPARE(ReadAll(victim), QByteArray("[MainForm]\nTop=2\n"));
    }

    // A file of any size is rewritten, its other bytes kept: 17 MiB of one line first.
    void largeFileIsRewritten()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("Vistrel.ini"));
        const qint64 filler = 17 << 20;
        QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(filler) && file.seek(filler) && file.write("\n[MainForm]\nTop=1\n"));
        QVERIFY(WriteProfileString(file.fileName(), "MainForm", "Top", "2") && WriteProfileString(file.fileName(), "MainForm", "Left", "3"));
        QFile rewritten(file.fileName());
        QVERIFY(rewritten.open(QIODevice::ReadOnly) && rewritten.size() == filler + 25 && rewritten.seek(filler));
        QCOMPARE(rewritten.readAll(), QByteArray("\n[MainForm]\nTop=2\nLeft=3\n"));
    }

    void interruptedWriteLeavesTheOldFile()
    {
        // A file-size limit fails the write part-way, as a full disk does.
        QTemporaryDir dir;
        const QString path = dir.filePath("Vistrel.ini");
        const QByteArray original = "[MainForm]\nTop=1\n";
        WriteAll(path, original);

        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = saved;
        tiny.rlim_cur = 24;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const bool written = WriteProfileString(path, "MainForm", "Path", QString(100, QLatin1Char('p')));
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, oldHandler);

        QVERIFY(!written);
        QCOMPARE(ReadAll(path), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Vistrel.ini"});
    }
};

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
