// Where Vistrel keeps its files: beside the program while its folder takes new files,
// in the user's XDG folders once it doesn't.
#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
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

bool Touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
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
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root_.filePath("runtime")));
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

    // The first window holds the shared folder, one started meanwhile a folder of its own;
    // neither touches the other's bitmaps, and what killed windows left is cleared.
    void windowsRunningTogetherKeepTheirBitmapsApart()
    {
        const QString killed = root_.filePath("runtime/vistrel-1/"), killedWithAFile = root_.filePath("runtime/vistrel-2/");
        QVERIFY(QDir().mkpath(killed) && QDir().mkpath(killedWithAFile));
        for (const QString& file : {program_ + "/Temp00001.bmp", program_ + "/temp2.BMP", program_ + "/Tempo.txt",
                                    killed + "Temp00001.bmp", killedWithAFile + "Temp00001.bmp", killedWithAFile + "a.png"})
            QVERIFY(Touch(file));
        {
            const TempFolderLock first;
            QCOMPARE(TempFolder(), program_ + "/");
            QCOMPARE(Entries(program_), QStringList{"Tempo.txt"});
            QCOMPARE(Entries(root_.filePath("runtime")), QStringList{"vistrel-2"});
            QCOMPARE(Entries(killedWithAFile), QStringList{"a.png"});
            QVERIFY(Touch(program_ + "/Temp00001.bmp"));
            {
                const TempFolderLock second;
                const QString own = root_.filePath("runtime/vistrel-%1/").arg(QCoreApplication::applicationPid());
                QCOMPARE(TempFolder(), own);
                QCOMPARE(ModeOf(own), mode_t(0700));
                QVERIFY(Touch(own + "Temp00001.bmp"));
                const TempFolderLock third;
                QVERIFY(third.IsPrivate() && third.Folder() != own && QFile::exists(own + "Temp00001.bmp"));
            }
            QCOMPARE(TempFolder(), program_ + "/");
            QCOMPARE(Entries(root_.filePath("runtime")), QStringList{"vistrel-2"});
            QVERIFY(QFile::exists(program_ + "/Temp00001.bmp"));
        }
    }

    // Another user could take or plant a window's folder there.
    void aRuntimeFolderOthersMayWriteToIsPassedOver()
    {
        const QString runtime = root_.filePath("runtime");
        QVERIFY(QDir().mkdir(runtime) && QFile::setPermissions(runtime, kOpen | QFileDevice::WriteOther));
        const TempFolderLock first, second;
        QCOMPARE(second.Folder(), root_.filePath("cache/vistrel/vistrel-%1/").arg(QCoreApplication::applicationPid()));
    }

    // The paint program the window starts may outlive it; it must not keep the folder held.
    void aProgramTheWindowStartsDoesNotHoldItsFolder()
    {
        QProcess paint;
        {
            const TempFolderLock window;
            paint.start("sleep", {"30"});
            QVERIFY(paint.waitForStarted());
        }
        const bool taken = !TempFolderLock().IsPrivate();
        paint.kill();
        paint.waitForFinished();
        QVERIFY(taken);
    }
};

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
