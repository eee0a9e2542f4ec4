// The listing Open uses: which files count, and in which order they come.
#include "platform/filesearch.h"
#include "scan/folderscan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {
void Touch(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("can't create %s", qPrintable(path));
}

QStringList Listed(const BrowseState& state)
{
    QStringList names;
    for (int i = 1; i <= state.ImageFileCount; ++i)
        names << state.ImageFiles[static_cast<std::size_t>(i)];
    return names;
}
} // namespace

class TestFolderScan : public QObject {
    Q_OBJECT

private slots:
    void takesNamesEndingInExeOrDll_data();
    void takesNamesEndingInExeOrDll();
    void listsInTheFileSystemsOrder();
    void listsRegularFilesOnly();
    void tellsAnEmptyFolderApart();
    void stopsAtTheCapacity();
};

void TestFolderScan::takesNamesEndingInExeOrDll_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("taken");
    QTest::newRow("exe") << QStringLiteral("a.exe") << true;
    QTest::newRow("EXE") << QStringLiteral("SETUP.EXE") << true;
    QTest::newRow("Dll") << QStringLiteral("lib.Dll") << true;
    QTest::newRow("no dot") << QStringLiteral("setupexe") << true;
    QTest::newRow("only the letters") << QStringLiteral("dll") << true;
    QTest::newRow("exe.txt") << QStringLiteral("a.exe.txt") << false;
    QTest::newRow("ocx") << QStringLiteral("a.ocx") << false;
    QTest::newRow("short") << QStringLiteral("ll") << false;
    QTest::newRow("multibyte tail") << QStringLiteral("アイコン") << false;
}

void TestFolderScan::takesNamesEndingInExeOrDll()
{
    QFETCH(QString, name);
    QFETCH(bool, taken);
    QCOMPARE(IsImageFileName(QFile::encodeName(name)), taken);
}

void TestFolderScan::listsInTheFileSystemsOrder()
{
    QTemporaryDir dir;
    for (const char* name : {"zz.exe", "Tool_b.exe", "_x.exe", "tool_a.exe", "notes.txt", "tool.dll", "B.DLL", "a.exe"})
        Touch(dir.filePath(QString::fromLatin1(name)));
    auto state = std::make_unique<BrowseState>();
    SetFolder(*state, QFile::encodeName(dir.path()));
    state->ImageFileCount = 7;
    QCOMPARE(ListImageFiles(*state), ListingResult::Listed);
    QCOMPARE(Listed(*state), (QStringList{QStringLiteral("a.exe"), QStringLiteral("B.DLL"), QStringLiteral("tool.dll"),
                                          QStringLiteral("tool_a.exe"), QStringLiteral("Tool_b.exe"),
                                          QStringLiteral("zz.exe"), QStringLiteral("_x.exe")}));
}

void TestFolderScan::listsRegularFilesOnly()
{
    QTemporaryDir dir;
    const QDir folder(dir.path());
    Touch(dir.filePath(QStringLiteral("plain.exe")));
    Touch(dir.filePath(QStringLiteral(".hidden.exe")));
    QVERIFY(folder.mkdir(QStringLiteral("folder.dll")));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe.exe"))).constData(), 0600), 0);
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("plain.exe")), dir.filePath(QStringLiteral("link.exe"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("folder.dll")), dir.filePath(QStringLiteral("dirlink.dll"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone.exe")), dir.filePath(QStringLiteral("dangling.exe"))));
    QStringList found;
    for (const FileName& name : FindFiles(QFile::encodeName(dir.path())))
        found << name.Text;
    QCOMPARE(found, (QStringList{QStringLiteral("link.exe"), QStringLiteral("plain.exe")}));
}

void TestFolderScan::tellsAnEmptyFolderApart()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub.exe")));
    Touch(dir.filePath(QStringLiteral(".profile.exe")));
    auto state = std::make_unique<BrowseState>();
    SetFolder(*state, QFile::encodeName(dir.path()));
    state->ImageFileCount = 3;
    QCOMPARE(ListImageFiles(*state), ListingResult::NoEntries);
    QCOMPARE(state->ImageFileCount, 0);

    Touch(dir.filePath(QStringLiteral("readme.txt")));
    QCOMPARE(ListImageFiles(*state), ListingResult::Listed);
    QCOMPARE(state->ImageFileCount, 0);

    SetFolder(*state, QFile::encodeName(dir.filePath(QStringLiteral("missing"))));
    QCOMPARE(ListImageFiles(*state), ListingResult::NoEntries);
}

void TestFolderScan::stopsAtTheCapacity()
{
    QTemporaryDir dir;
    for (int i = 1; i <= kMaxImageFiles + 1; ++i)
        Touch(dir.filePath(QStringLiteral("f%1.exe").arg(i, 5, 10, QLatin1Char('0'))));
    auto state = std::make_unique<BrowseState>();
    SetFolder(*state, QFile::encodeName(dir.path()));
    QCOMPARE(ListImageFiles(*state), ListingResult::CapacityReached);
    QCOMPARE(state->ImageFileCount, kMaxImageFiles);
    QCOMPARE(state->ImageFiles[kMaxImageFiles], QStringLiteral("f10000.exe"));
    QVERIFY(state->ImageFiles[0].isEmpty());

    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("f10001.exe"))));
    QCOMPARE(ListImageFiles(*state), ListingResult::Listed);
    QCOMPARE(state->ImageFileCount, kMaxImageFiles);
}

QTEST_GUILESS_MAIN(TestFolderScan)
#include "tst_folderscan.moc"
