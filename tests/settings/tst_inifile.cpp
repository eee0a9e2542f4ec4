// The settings file: defaults, the geometry rules, and how errors stop a load or a save.
#include "settings/inifile.h"

#include "platform/errors.h"
#include "platform/programfolder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

class FakeWindow : public IniFile::FormBounds {
public:
    int top = -1, left = -1, height = -1, width = -1;
    QSize screen{1024, 768};
    QStringList applied; // the order in which the load set the edges

    int Top() const override { return top; }
    int Left() const override { return left; }
    int Height() const override { return height; }
    int Width() const override { return width; }
    void SetTop(int v) override { top = v; applied << "Top"; }
    void SetLeft(int v) override { left = v; applied << "Left"; }
    void SetHeight(int v) override { height = v; applied << "Height"; }
    void SetWidth(int v) override { width = v; applied << "Width"; }
    QSize ScreenSize() const override { return screen; }
    bool PositionKnown() const override { return positionKnown; }
    bool positionKnown = true;
};

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteSettings(const QByteArray& bytes)
{
    QFile file(IniFile::SettingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QString ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const AppError& error) {
        return error.message();
    }
    return QString();
}

} // namespace

class TestIniFile : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

private slots:
    void init()
    {
        SetProgramFolder(folder_.path());
        QFile::remove(IniFile::SettingsPath());
    }

    void cleanupTestCase() { SetProgramFolder(QString()); }

    void settingsLiveBesideTheProgram()
    {
        QCOMPARE(IniFile::SettingsPath(), folder_.path() + "/Vistrel.ini");
    }

    void noFileGivesDefaultsAndCreatesNothing()
    {
        FakeWindow window;
        IniFile::LoadFormGeometry("MainForm", window);
        QCOMPARE(window.applied, (QStringList{"Top", "Left", "Height", "Width"}));
        QCOMPARE((QList<int>{window.top, window.left, window.height, window.width}), (QList<int>{107, 200, 480, 696}));
        QVERIFY(!QFile::exists(IniFile::SettingsPath()));
        QCOMPARE(IniFile::ReadPaintPath("MainForm"), QStringLiteral("C:\\Program Files\\Accessories\\MSPAINT.EXE"));
    }

    void storedGeometryRules_data()
    {
        QTest::addColumn<QList<int>>("window"); // top, left, height, width
        QTest::addColumn<QList<int>>("stored"); // Top, Left, Height, Width
        QTest::newRow("maximised") << QList<int>{-4, -4, 776, 1032} << QList<int>{0, 0, 766, 1022};
        QTest::newRow("as high and wide as the screen") << QList<int>{10, 10, 768, 1024} << QList<int>{10, 10, 758, 1014};
        QTest::newRow("one pixel less") << QList<int>{10, 10, 767, 1023} << QList<int>{10, 10, 767, 1023};
        QTest::newRow("left off screen") << QList<int>{50, -30, 480, 696} << QList<int>{50, 0, 480, 696};
        QTest::newRow("top off screen") << QList<int>{-5, 30, 480, 696} << QList<int>{0, 30, 480, 696};
    }

    void storedGeometryRules()
    {
        QFETCH(QList<int>, window);
        QFETCH(QList<int>, stored);
        FakeWindow form;
        form.top = window[0], form.left = window[1], form.height = window[2], form.width = window[3];
        IniFile::SaveFormGeometry("MainForm", form);
        QCOMPARE(ReadAll(IniFile::SettingsPath()), QStringLiteral("[MainForm]\nTop=%1\nLeft=%2\nHeight=%3\nWidth=%4\n")
                                                       .arg(stored[0]).arg(stored[1]).arg(stored[2]).arg(stored[3])
                                                       .toUtf8());
        FakeWindow reloaded;
        IniFile::LoadFormGeometry("mainform", reloaded);
        QCOMPARE((QList<int>{reloaded.top, reloaded.left, reloaded.height, reloaded.width}), stored);
    }

    void loadStopsAtTheFirstBadKey_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("applied");
        QTest::newRow("letters in Top") << QByteArray("[MainForm]\nTop=abc\nLeft=1\nHeight=2\nWidth=3\n")
                                        << "'abc' は整数ではありません" << QStringList{};
        QTest::newRow("letters in Width") << QByteArray("[MainForm]\nTop=1\nLeft=2\nHeight=3\nWidth=9x\n")
                                          << "'9x' は整数ではありません" << QStringList{"Top", "Left", "Height"};
        QTest::newRow("empty Height") << QByteArray("[MainForm]\nHeight=\n") << "'' は整数ではありません"
                                      << QStringList{"Top", "Left"};
        QTest::newRow("5000 digits") << QByteArray("[MainForm]\nLeft=" + QByteArray(5000, '7') + "\n")
                                     << "'" + QString(2047, QLatin1Char('7')) + "' は整数ではありません"
                                     << QStringList{"Top"};
    }

    void loadStopsAtTheFirstBadKey()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, error);
        QFETCH(QStringList, applied);
        WriteSettings(settings);
        FakeWindow window;
        QCOMPARE(ErrorOf([&] { IniFile::LoadFormGeometry("MainForm", window); }), error);
        QCOMPARE(window.applied, applied);
        QCOMPARE(ReadAll(IniFile::SettingsPath()), settings);
    }

    void integerText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value"); // -999999 for an error
        QTest::newRow("decimal") << "107" << 107;
        QTest::newRow("negative") << "-4" << -4;
        QTest::newRow("plus") << "+8" << 8;
        QTest::newRow("dollar hex") << "$1F" << 31;
        QTest::newRow("0x hex") << "0x10" << 16;
        QTest::newRow("smallest") << "-2147483648" << std::numeric_limits<int>::min();
        QTest::newRow("too large") << "2147483648" << -999999;
        QTest::newRow("huge") << "99999999999999999999999" << -999999;
        QTest::newRow("empty") << "" << -999999;
        QTest::newRow("sign only") << "-" << -999999;
        QTest::newRow("inner blank") << "1 2" << -999999;
        QTest::newRow("decimal point") << "1.5" << -999999;
        QTest::newRow("full-width digits") << "１２" << -999999;
    }

    void integerText()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        if (value == -999999)
            QCOMPARE(ErrorOf([&] { IniFile::StrToInt(text); }), QStringLiteral("'%1' は整数ではありません").arg(text));
        else
            QCOMPARE(IniFile::StrToInt(text), value);
    }

    void refusedWriteNamesTheFileAndKeepsIt()
    {
        const QByteArray original = "[MainForm]\nTop=5\nLeft=6\n";
        WriteSettings(original);
        QVERIFY(QFile::setPermissions(IniFile::SettingsPath(), QFileDevice::ReadOwner));
        FakeWindow window;
        window.top = 1, window.left = 2, window.height = 3, window.width = 4;
        QCOMPARE(ErrorOf([&] { IniFile::SaveFormGeometry("MainForm", window); }),
                 IniFile::SettingsPath() + " に書き込めません");
        QCOMPARE(ReadAll(IniFile::SettingsPath()), original);
        QVERIFY(QFile::setPermissions(IniFile::SettingsPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }

    void aDirectoryInPlaceOfTheFile()
    {
        QVERIFY(QDir().mkdir(IniFile::SettingsPath()));
        FakeWindow window;
        IniFile::LoadFormGeometry("MainForm", window);
        QCOMPARE(window.top, 107);
        window.top = 1;
        QCOMPARE(ErrorOf([&] { IniFile::SaveFormGeometry("MainForm", window); }),
                 IniFile::SettingsPath() + " に書き込めません");
        QVERIFY(QDir().rmdir(IniFile::SettingsPath()));
    }

    void paintPathIsTakenAsWritten_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("path");
        QTest::newRow("typed by hand") << QByteArray("[MAINFORM]\npath = C:\\Program Files\\Accessories\\MSPAINT.EXE \n")
                                       << "C:\\Program Files\\Accessories\\MSPAINT.EXE";
        QTest::newRow("linux program") << QByteArray("[MainForm]\nPath=/usr/bin/kolourpaint\n") << "/usr/bin/kolourpaint";
        QTest::newRow("empty value") << QByteArray("[MainForm]\nPath=\n") << "";
        QTest::newRow("other section only") << QByteArray("[Paint]\nPath=/x\n")
                                            << "C:\\Program Files\\Accessories\\MSPAINT.EXE";
    }

    void paintPathIsTakenAsWritten()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, path);
        WriteSettings(settings);
        QCOMPARE(IniFile::ReadPaintPath("MainForm"), path);
    }

    void saveKeepsForeignLines()
    {
        WriteSettings("; kept\n[Paint]\nx=1\n[MainForm]\nPath=C:\\a\\b.exe\nunknown=yes\nTop=9\n");
        FakeWindow window;
        window.top = 1, window.left = 2, window.height = 3, window.width = 4;
        IniFile::SaveFormGeometry("MainForm", window);
        QCOMPARE(ReadAll(IniFile::SettingsPath()),
                 QByteArray("; kept\n[Paint]\nx=1\n[MainForm]\nPath=C:\\a\\b.exe\nunknown=yes\nTop=1\n"
                            "Left=2\nHeight=3\nWidth=4\n"));
        // Where the compositor keeps the position to itself, the size alone is stored.
        window.positionKnown = false;
        window.top = 0, window.left = 0, window.height = 30, window.width = 40;
        IniFile::SaveFormGeometry("MainForm", window);
        QCOMPARE(ReadAll(IniFile::SettingsPath()),
                 QByteArray("; kept\n[Paint]\nx=1\n[MainForm]\nPath=C:\\a\\b.exe\nunknown=yes\nTop=1\n"
                            "Left=2\nHeight=30\nWidth=40\n"));
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
