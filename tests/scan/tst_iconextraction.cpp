// Icons into numbered bitmaps: the temporary bitmaps of Open and the batch command line.
#include "platform/errors.h"
#include "platform/folderwriter.h"
#include "platform/programfolder.h"
#include "icon/tst_exeicons_pattern.h"
#include "app/commandline.h"
#include "scan/folderscan.h"
#include "scan/iconextraction.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

namespace {
const QString kData = QStringLiteral(VISTREL_TEST_DATA);

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

unsigned Mode(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777u : 0u;
}

QString Numbered(const QString& folder, const char* prefix, int n)
{
    return QStringLiteral("%1/%2%3.bmp").arg(folder, QLatin1String(prefix)).arg(n, 5, 10, QLatin1Char('0'));
}

// One file's icons into the temporary bitmaps, as Open takes them.
ExtractionResult ExtractIcons(BrowseState& state, const QString& folder, const QString& name)
{
    FolderWriter temp(QFile::encodeName(TempFolder()), FolderWriter::Targets::Scratch);
    return ExtractIcons(state, SourceFile{folder, QFile::encodeName(folder), {QFile::encodeName(name), name}},
                        IconTarget{&temp});
}

bool HasWhiteFrame(const QImage& image)
{
    for (int i = 0; i < 34; ++i)
        for (const QPoint p : {QPoint(i, 0), QPoint(i, 33), QPoint(0, i), QPoint(33, i)})
            if ((image.pixel(p) & 0xFFFFFFu) != 0xFFFFFFu)
                return false;
    return true;
}
} // namespace

class TestIconExtraction : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void numbersIconsAcrossFiles();
    void skipsIconsThatCantBeDrawn();
    void laterScanLeavesHigherNumbers();
    void reportsABitmapThatCantBeWritten();
    void stopsAtTheCapacity();
    void letsMessagesRunAfterEachIcon();
    void oneScanForOpenAndTheCommandLine();
    void batchWritesWhatOpenAndSaveWould();
    void batchExitStatus();

private:
    std::unique_ptr<QTemporaryDir> programFolder_;
    std::unique_ptr<BrowseState> state_;
};

void TestIconExtraction::init()
{
    programFolder_ = std::make_unique<QTemporaryDir>();
    SetProgramFolder(programFolder_->path());
    state_ = std::make_unique<BrowseState>();
}

void TestIconExtraction::cleanup()
{
    SetProgramFolder(QString());
}

void TestIconExtraction::numbersIconsAcrossFiles()
{
    const QString folder = programFolder_->path();
    QCOMPARE(ExtractIcons(*state_, kData, QStringLiteral("icons64.dll")), ExtractionResult::Done);
    QCOMPARE(state_->IconCount, 3);
    QCOMPARE(ExtractIcons(*state_, kData, QStringLiteral("icons.exe")), ExtractionResult::Done);
    QCOMPARE(state_->IconCount, 11);
    for (int n = 1; n <= 11; ++n) {
        QCOMPARE(state_->TempBitmaps[static_cast<std::size_t>(n)], Numbered(folder, "Temp", n));
        const QImage bitmap(Numbered(folder, "Temp", n));
        QCOMPARE(bitmap.size(), QSize(34, 34));
        QVERIFY(HasWhiteFrame(bitmap));
    }
    QVERIFY(state_->TempBitmaps[0].isEmpty());
    QVERIFY(!QFile::exists(Numbered(folder, "Temp", 12)));
    // The first icon of the second file follows the three of the first.
    const QString difference = FirstDifference(QImage(Numbered(folder, "Temp", 4)), ExpectedBitmap({32, 32, 32, 8, true}));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestIconExtraction::skipsIconsThatCantBeDrawn()
{
    // The first group of this file leads nowhere: the second one gets number 1.
    ExtractIcons(*state_, kData + QStringLiteral("/damaged"), QStringLiteral("loop-name-self.dll"));
    QCOMPARE(state_->IconCount, 7);
    const QString difference = FirstDifference(QImage(Numbered(programFolder_->path(), "Temp", 1)),
                                               ExpectedBitmap({32, 32, 4, 17, false, true}));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    for (const char* name : {"missing.exe", "damaged/text.exe", "damaged/empty.dll", "notes.exe"})
        ExtractIcons(*state_, kData, QString::fromLatin1(name));
    QCOMPARE(state_->IconCount, 7);
    QVERIFY(!QFile::exists(Numbered(programFolder_->path(), "Temp", 8)));
}

void TestIconExtraction::laterScanLeavesHigherNumbers()
{
    const QString folder = programFolder_->path();
    ExtractIcons(*state_, kData, QStringLiteral("icons.exe"));
    QCOMPARE(state_->IconCount, 8);
    const QByteArray eighth = Contents(Numbered(folder, "Temp", 8));
    state_->IconCount = 0;
    ExtractIcons(*state_, kData, QStringLiteral("icons64.dll"));
    QCOMPARE(state_->IconCount, 3);
    const QString difference = FirstDifference(QImage(Numbered(folder, "Temp", 1)), ExpectedBitmap({16, 16, 24, 20}));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(Contents(Numbered(folder, "Temp", 8)), eighth);
    QCOMPARE(state_->TempBitmaps[8], Numbered(folder, "Temp", 8));
}

void TestIconExtraction::reportsABitmapThatCantBeWritten()
{
    const QString missing = programFolder_->filePath(QStringLiteral("gone"));
    SetProgramFolder(missing);
    state_->TempBitmaps[3] = QStringLiteral("earlier");
    state_->IconCount = 2;
    try {
        ExtractIcons(*state_, kData, QStringLiteral("icons.exe"));
        QFAIL("no error");
    } catch (const AppError& error) {
        QCOMPARE(error.message(), QStringLiteral("ファイル %1/Temp00003.bmp を作成できません").arg(missing));
    }
    // The icon whose bitmap failed is not counted: slot 3 still belongs to another scan.
    QCOMPARE(state_->IconCount, 2);
    QCOMPARE(state_->TempBitmaps[3], QStringLiteral("earlier"));
}

void TestIconExtraction::stopsAtTheCapacity()
{
    const QString folder = programFolder_->path();
    state_->IconCount = kMaxIcons - 2;
    QCOMPARE(ExtractIcons(*state_, kData, QStringLiteral("icons.exe")), ExtractionResult::CapacityReached);
    QCOMPARE(state_->IconCount, kMaxIcons);
    QCOMPARE(state_->TempBitmaps[kMaxIcons], Numbered(folder, "Temp", 10000));
    QVERIFY(QFile::exists(Numbered(folder, "Temp", 9999)));
    QVERIFY(QFile::exists(Numbered(folder, "Temp", 10000)));
    QVERIFY(!QFile::exists(Numbered(folder, "Temp", 10001)));
    QCOMPARE(ExtractIcons(*state_, kData, QStringLiteral("icons64.dll")), ExtractionResult::CapacityReached);
    QCOMPARE(state_->IconCount, kMaxIcons);
    // A file without icons has nothing to leave out.
    QCOMPARE(ExtractIcons(*state_, kData, QStringLiteral("notes.exe")), ExtractionResult::Done);
}

void TestIconExtraction::letsMessagesRunAfterEachIcon()
{
    QList<int> seen;
    QMetaObject::invokeMethod(this, [&] {
        seen << state_->IconCount;
        QMetaObject::invokeMethod(this, [&] { seen << state_->IconCount; }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    ExtractIcons(*state_, kData, QStringLiteral("icons64.dll"));
    QCOMPARE(seen, (QList<int>{1, 2}));
}

// The scan both Open and --extract run: what it tells as it goes, and its outcome.
void TestIconExtraction::oneScanForOpenAndTheCommandLine()
{
    struct Recorder final : ScanProgress {
        void Listed(int count, bool filesLeftOut) override { said << QStringLiteral("listed %1 %2").arg(count).arg(filesLeftOut); }
        void Reading(int k, int count) override { said << QStringLiteral("reading %1/%2").arg(k).arg(count); }
        void Read(const QString& name, int icons) override { said << QStringLiteral("read %1 %2").arg(name).arg(icons); }
        QStringList said;
    };
    QTemporaryDir folder;
    SetFolder(*state_, QFile::encodeName(folder.path()));
    state_->IconCount = 5; // an earlier folder's, kept when this one has no files
    Recorder nothing;
    QCOMPARE(ScanFolder(*state_, nothing).Result, ScanResult::NoImageFiles);
    QVERIFY(nothing.said.isEmpty());
    QCOMPARE(state_->IconCount, 5);

    QVERIFY(QFile::copy(kData + QStringLiteral("/notes.exe"), folder.filePath(QStringLiteral("notes.exe"))));
    Recorder noIcons;
    QCOMPARE(ScanFolder(*state_, noIcons).Result, ScanResult::NoIcons);
    QCOMPARE(noIcons.said, (QStringList{"listed 1 0", "reading 1/1", "read notes.exe 0"}));
    QCOMPARE(state_->IconCount, 0);

    QVERIFY(QFile::copy(kData + QStringLiteral("/icons64.dll"), folder.filePath(QStringLiteral("icons64.dll"))));
    Recorder open;
    const ScanOutcome opened = ScanFolder(*state_, open);
    QCOMPARE(opened.Result, ScanResult::Done);
    QVERIFY(!opened.FilesLeftOut && !opened.IconsLeftOut);
    QCOMPARE(state_->IconCount, 3);
    QCOMPARE(open.said, (QStringList{"listed 2 0", "reading 1/2", "read icons64.dll 3", "reading 2/2", "read notes.exe 0"}));
}

void TestIconExtraction::batchWritesWhatOpenAndSaveWould()
{
    // Open: the listing, then each file's icons into the temporary bitmaps.
    SetFolder(*state_, QFile::encodeName(kData));
    QCOMPARE(ListImageFiles(*state_), ListingResult::Listed);
    for (int k = 1; k <= state_->ImageFileCount; ++k)
        ExtractIcons(*state_, state_->FolderPath, state_->ImageFiles[static_cast<std::size_t>(k)]);
    QCOMPARE(state_->IconCount, 11);

    QTemporaryDir untouched;
    SetProgramFolder(untouched.path());
    QTemporaryDir output;
    QCOMPARE(ExtractFolder(QFile::encodeName(kData).constData(), QFile::encodeName(output.path() + QLatin1Char('/')).constData()), 0);
    QCOMPARE(QDir(output.path()).entryList(QDir::Files).size(), 11);
    for (int n = 1; n <= 11; ++n)
        QCOMPARE(Contents(Numbered(output.path(), "Icon", n)), Contents(Numbered(programFolder_->path(), "Temp", n)));
    QVERIFY(QDir(untouched.path()).isEmpty());

    // Written again over the user's files, as Save would: a read-only file and a folder in
    // an icon's place stay as they are, even for root; the others are replaced, the numbers
    // don't move, and a new file gets what the umask leaves.
    const QString readOnly = Numbered(output.path(), "Icon", 2);
    QFile(readOnly).remove();
    {
        QFile kept(readOnly);
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.write("kept");
    }
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    QVERIFY(QFile::remove(Numbered(output.path(), "Icon", 3)));
    QVERIFY(QDir(output.path()).mkdir(QStringLiteral("Icon00003.bmp")));
    QVERIFY(QFile::remove(Numbered(output.path(), "Icon", 4)));
    // A reader of a replaced file never sees half of it: the new one takes its name whole,
    // and what was open keeps reading the old one.
    const QString replaced = Numbered(output.path(), "Icon", 1);
    QFile reader(replaced);
    QVERIFY(reader.open(QIODevice::ReadWrite | QIODevice::Truncate));
    QVERIFY(reader.write("an older icon") > 0 && reader.flush() && reader.seek(0));
    const mode_t umaskBefore = ::umask(027);
    const int status = ExtractFolder(QFile::encodeName(kData).constData(), QFile::encodeName(output.path()).constData());
    ::umask(umaskBefore);
    QCOMPARE(status, 2); // the read-only file and the folder were not written
    QCOMPARE(reader.readAll(), QByteArray("an older icon"));
    QVERIFY(QDir(output.path()).entryList(QDir::Files).filter(QStringLiteral(".bmp.")).isEmpty()); // no temporary left
    QCOMPARE(Contents(readOnly), QByteArray("kept"));
    QCOMPARE(Mode(readOnly), 0440u);
    QVERIFY(QFileInfo(Numbered(output.path(), "Icon", 3)).isDir());
    const QString fresh = Numbered(output.path(), "Icon", 4);
    QCOMPARE(Mode(fresh), 0640u);
    for (int n : {1, 4, 11})
        QCOMPARE(Contents(Numbered(output.path(), "Icon", n)), Contents(Numbered(programFolder_->path(), "Temp", n)));
}

void TestIconExtraction::batchExitStatus()
{
    QTemporaryDir output;
    const QByteArray out = QFile::encodeName(output.path());
    QTemporaryDir empty;
    QCOMPARE(ExtractFolder(QFile::encodeName(empty.path()).constData(), out.constData()), 1);
    QCOMPARE(ExtractFolder(QFile::encodeName(kData + QStringLiteral("/source")).constData(), out.constData()), 1);
    QFile::copy(kData + QStringLiteral("/notes.exe"), empty.filePath(QStringLiteral("notes.exe")));
    QCOMPARE(ExtractFolder(QFile::encodeName(empty.path()).constData(), out.constData()), 1);
    QVERIFY(QDir(output.path()).isEmpty());
    // OUTDIR is made with its parents; a missing FOLDER is the error, named as such.
    QCOMPARE(ExtractFolder(QFile::encodeName(kData).constData(), (out + "/new/deep").constData(), IconFormat::Png), 0);
    QCOMPARE(QDir(output.filePath(QStringLiteral("new/deep"))).entryList({QStringLiteral("Icon*.png")}).size(), 11);
    QCOMPARE(ExtractFolder((out + "/missing").constData(), (out + "/other").constData()), 2);
    QVERIFY(!QFile::exists(output.filePath(QStringLiteral("other"))));
    QCOMPARE(ExtractFolder(QFile::encodeName(kData).constData(), QFile::encodeName(kData + QStringLiteral("/icons.exe")).constData()), 2);

    char program[] = "vistrel";
    char extract[] = "--extract";
    QByteArray folder = out;
    char* tooFew[] = {program, extract, folder.data()};
    QCOMPARE(RunCommandLine(3, tooFew), std::optional<int>(2));
    char qtOption[] = "-platform";
    char qtValue[] = "offscreen";
    char* window[] = {program, qtOption, qtValue};
    QCOMPARE(RunCommandLine(3, window), std::nullopt);
    QCOMPARE(RunCommandLine(1, window), std::nullopt);
}

QTEST_GUILESS_MAIN(TestIconExtraction)
#include "tst_iconextraction.moc"
