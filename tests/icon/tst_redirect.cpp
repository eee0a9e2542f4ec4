// The System32 redirect: which layouts give a file the icons of SystemResources/NAME.mun,
// through each way a reader opens a file (a scan's listing, a file opened again, the
// thumbnailer's files opened ahead).
#include "icon/redirect.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kWindows = QStringLiteral(VISTREL_TEST_DATA "/windows");
} // namespace

class TestRedirect : public QObject {
    Q_OBJECT
    QTemporaryDir links_;

private slots:
    void initTestCase()
    {
        // A .mun that is a link, and a SystemResources folder that is one: neither followed.
        for (const QString& tree : {QStringLiteral("munlink"), QStringLiteral("folderlink")}) {
            QVERIFY(QDir(links_.path()).mkpath(tree + "/Windows/System32"));
            QVERIFY(QFile::copy(kWindows + "/Windows/System32/shell32.dll", links_.filePath(tree + "/Windows/System32/shell32.dll")));
        }
        QVERIFY(QDir(links_.path()).mkpath("munlink/Windows/SystemResources"));
        QVERIFY(QFile::link(kWindows + "/Windows/SystemResources/shell32.dll.mun",
                            links_.filePath("munlink/Windows/SystemResources/shell32.dll.mun")));
        QVERIFY(QFile::link(kWindows + "/Windows/SystemResources", links_.filePath("folderlink/Windows/SystemResources")));
        // Names beyond ASCII, in other cases.
        QVERIFY(QDir(links_.path()).mkpath("accents/Windows/System32") && QDir(links_.path()).mkpath("accents/Windows/SystemResources"));
        QVERIFY(QFile::copy(kWindows + "/Windows/System32/shell32.dll", links_.filePath("accents/Windows/System32/ÉCRAN.DLL")));
        QVERIFY(QFile::copy(kWindows + "/Windows/SystemResources/shell32.dll.mun",
                            links_.filePath("accents/Windows/SystemResources/écran.dll.mun")));
    }

    void layouts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<int>>("counts"); // icons, cursor groups, animated cursors
        QTest::addColumn<QString>("iconsFrom");
        const QString links = links_.path();
        QTest::newRow("redirected library: icons, cursors and animated cursors of the .mun")
            << kWindows + "/Windows/System32/shell32.dll" << QList{2, 1, 1} << kWindows + "/Windows/SystemResources/shell32.dll.mun";
        QTest::newRow("redirected program") << kWindows + "/Windows/System32/notepad.exe" << QList{1, 0, 0}
                                            << kWindows + "/Windows/SystemResources/notepad.exe.mun";
        QTest::newRow("icons of its own kept, a .mun beside it") << kWindows + "/Windows/System32/owner.dll" << QList{1, 0, 0} << "";
        QTest::newRow("no .mun") << kWindows + "/Windows/System32/lonely.dll" << QList{0, 0, 0} << "";
        QTest::newRow("folder and file names in other cases") << kWindows + "/cased/WINDOWS/system32/IMAGERES.DLL" << QList{1, 0, 0}
                                                              << kWindows + "/cased/WINDOWS/systemResources/imageres.dll.MUN";
        QTest::newRow("names beyond ASCII in other cases") << links + "/accents/Windows/System32/ÉCRAN.DLL" << QList{2, 1, 1}
                                                          << links + "/accents/Windows/SystemResources/écran.dll.mun";
        QTest::newRow("SysWOW64") << kWindows + "/Windows/SysWOW64/wow.dll" << QList{1, 0, 0}
                                  << kWindows + "/Windows/SystemResources/wow.dll.mun";
        QTest::newRow("a folder not called System32") << kWindows + "/Windows/Web/shell32.dll" << QList{0, 0, 0} << "";
        QTest::newRow("a .mun that is a link") << links + "/munlink/Windows/System32/shell32.dll" << QList{0, 0, 0} << "";
        QTest::newRow("SystemResources a link") << links + "/folderlink/Windows/System32/shell32.dll" << QList{0, 0, 0} << "";
        QTest::newRow("the folder named .") << "./shell32.dll" << QList{2, 1, 1} << kWindows + "/Windows/SystemResources/shell32.dll.mun";
    }

    void layouts()
    {
        QFETCH(QString, file);
        QFETCH(QList<int>, counts);
        QFETCH(QString, iconsFrom);
        const QString current = QDir::currentPath();
        QDir::setCurrent(kWindows + "/Windows/System32");
        const QByteArray path = QFile::encodeName(file);
        const MunFolder folder(QFile::encodeName(QFileInfo(file).path()).toStdString());
        const std::string expected = QFile::encodeName(iconsFrom.isEmpty() ? iconsFrom : QFileInfo(iconsFrom).canonicalFilePath()).toStdString();
        IconFile listed(path.constData(), &folder);
        const std::unique_ptr<IconFile> ahead = OpenIconFileAhead(path.constData());
        const std::unique_ptr<IconFile> reopened = ReopenIconFile(path.constData(), listed.IconsFrom());
        for (IconFile* icons : {&listed, ahead.get(), reopened.get()}) {
            QCOMPARE(icons->IconsFrom(), expected);
            const QList<int> got{icons->Reader().Count(ResourceKind::Icon), icons->Reader().Count(ResourceKind::Cursor),
                                 icons->Reader().Count(ResourceKind::AnimatedCursor)};
            QCOMPARE(got, counts);
        }
        QDir::setCurrent(current);
    }
};

QTEST_GUILESS_MAIN(TestRedirect)
#include "tst_redirect.moc"
