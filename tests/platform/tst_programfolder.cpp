// Where Vistrel keeps its files: beside the program while its folder takes new files,
// in the user's XDG folders once it doesn't.
#include "platform/programfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {
mode_t ModeOf(const QString& path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

const QFileDevice::Permissions kOpen = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
const QFileDevice::Permissions kClosed = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
    | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
} // namespace

class TestProgramFolder : public QObject {
    Q_OBJECT

    QTemporaryDir root_;
    QString program_;

private slots:
    void init()
    {
        program_ = root_.filePath("program");
        QVERIFY(QDir().mkpath(program_));
        SetProgramFolder(program_);
        qputenv("HOME", QFile::encodeName(root_.filePath("home")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root_.filePath("config")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(root_.filePath("cache")));
    }

    void cleanup()
    {
        QFile::setPermissions(program_, kOpen);
        QDir(root_.path()).removeRecursively();
        QDir().mkpath(root_.path());
        SetProgramFolder(QString());
    }

    void aWritableProgramFolderKeepsEverything()
    {
        QCOMPARE(SettingsFolder(), program_ + "/");
        QCOMPARE(TempFolder(), program_ + "/");
        QCOMPARE(QDir(root_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"program"});

        // A program folder that is gone is no reason to move: writing there fails and says so.
        SetProgramFolder(root_.filePath("gone"));
        QCOMPARE(SettingsFolder(), root_.filePath("gone/"));
        QCOMPARE(TempFolder(), root_.filePath("gone/"));
    }

    void aClosedProgramFolderSendsFilesToTheXdgFolders_data()
    {
        QTest::addColumn<QByteArray>("configHome"); // "-" unsets it
        QTest::addColumn<QByteArray>("cacheHome");
        QTest::addColumn<QString>("settings"); // below the scratch root
        QTest::addColumn<QString>("temp");
        QTest::newRow("XDG folders named") << QByteArray("<root>/xdg/config") << QByteArray("<root>/xdg/cache")
                                           << "xdg/config/vistrel/" << "xdg/cache/vistrel/";
        QTest::newRow("XDG folders unset") << QByteArray("-") << QByteArray("-") << "home/.config/vistrel/"
                                           << "home/.cache/vistrel/";
        QTest::newRow("empty or relative ones are ignored")
            << QByteArray("") << QByteArray("relative/cache") << "home/.config/vistrel/" << "home/.cache/vistrel/";
    }

    void aClosedProgramFolderSendsFilesToTheXdgFolders()
    {
        QFETCH(QByteArray, configHome);
        QFETCH(QByteArray, cacheHome);
        QFETCH(QString, settings);
        QFETCH(QString, temp);
        for (const auto& [variable, value] : {std::pair{"XDG_CONFIG_HOME", configHome}, std::pair{"XDG_CACHE_HOME", cacheHome}}) {
            if (value == "-")
                qunsetenv(variable);
            else
                qputenv(variable, QByteArray(value).replace("<root>", QFile::encodeName(root_.path())));
        }
        QVERIFY(QFile::setPermissions(program_, kClosed));

        QCOMPARE(SettingsFolder(), root_.filePath(settings));
        QCOMPARE(TempFolder(), root_.filePath(temp));
        QCOMPARE(ProgramFolder(), program_ + "/");
        // Created for the user alone, with every folder above them that was missing.
        for (const QString& created : {settings, temp}) {
            QCOMPARE(ModeOf(root_.filePath(created)), mode_t(0700));
            QCOMPARE(ModeOf(root_.filePath(created + "..")), mode_t(0700));
        }
        QVERIFY(QDir(program_).isEmpty());

        // Open again, the program folder is used as before.
        QVERIFY(QFile::setPermissions(program_, kOpen | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        QCOMPARE(SettingsFolder(), program_ + "/");
        QCOMPARE(TempFolder(), program_ + "/");
    }
};

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
