// The resource walk beyond icons: cursor groups and animated cursors against icoutils'
// own extraction, and the listing of real, damaged and non-executable files.
#include "icon/datafile.h"
#include "icon/bytesource.h"
#include "icon/cursorexport.h"
#include "icon/resourcelist.h"
#include "skipunlessci.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {
const QString kData = QStringLiteral(VISTREL_TEST_DATA);

QByteArray AsBytes(const std::vector<std::uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// What a program printed and whether it complained, run on one file.
struct Run {
    QByteArray out;
    QByteArray err;
    int status;
};
Run Execute(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    return {process.readAllStandardOutput(), process.readAllStandardError(), process.exitCode()};
}

// A group's images in one line: WxHxBITS@X,Y (cursors) FORMAT BYTES, and the group's
// name and languages before them.
QString Summary(const ListedResource& group)
{
    QStringList parts{QString::fromStdString(group.Name.Display())};
    for (const std::uint32_t language : group.Languages)
        parts << QString::number(language);
    for (const ListedImage& i : group.TakenVariant().Images) {
        QString image = QStringLiteral("%1x%2x%3").arg(i.Width).arg(i.Height).arg(i.BitCount);
        if (i.HotspotX)
            image += QStringLiteral("@%1,%2").arg(*i.HotspotX).arg(*i.HotspotY);
        parts << image + (i.Readable ? (i.Png ? QStringLiteral(" png ") : QStringLiteral(" bmp ")) + QString::number(i.Bytes) : QStringLiteral(" unreadable"));
    }
    if (group.TakenVariant().Bytes)
        parts << QString::number(group.TakenVariant().Bytes);
    return parts.join(QLatin1Char(' '));
}
} // namespace

class TestResources : public QObject {
    Q_OBJECT

private slots:
    void cursorsLikeWrestool_data();
    void cursorsLikeWrestool();
    void lists_data();
    void lists();
    void namesForPeople_data();
    void namesForPeople();
    void listsADamagedFileInBounds();
};

void TestResources::cursorsLikeWrestool_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("groups");
    QTest::newRow("pe32") << QStringLiteral("cursors/cursors.exe") << 4;
    QTest::newRow("pe32+") << QStringLiteral("cursors/cursors64.dll") << 4;
    QTest::newRow("ne") << QStringLiteral("cursors/old-cursors.exe") << 2;
}

// Every cursor group as wrestool -x -t12 writes it: the same directory but for the sizes,
// which wrestool counts with the hotspot (and in NE with the padding), and the same image
// bytes; icotool reads ours without a word. The animated cursor is the file it was made of.
void TestResources::cursorsLikeWrestool()
{
    QFETCH(QString, file);
    QFETCH(int, groups);
    const QString path = kData + QLatin1Char('/') + file;
    const FileSource source(QFile::encodeName(path).constData());
    IconReader reader(source);
    QCOMPARE(reader.Count(ResourceKind::Cursor), groups);
    QCOMPARE(reader.Count(ResourceKind::AnimatedCursor), file.startsWith(QLatin1String("cursors/cursors")) ? 1 : 0);
    if (QStandardPaths::findExecutable(QStringLiteral("wrestool")).isEmpty())
        VISTREL_SKIP("icoutils is not installed");
    QTemporaryDir dir;
    if (reader.Count(ResourceKind::AnimatedCursor) == 1) {
        const QString ani = dir.filePath(QStringLiteral("busy.ani"));
        QCOMPARE(Execute(QStringLiteral("wrestool"), {QStringLiteral("-x"), QStringLiteral("-R"), QStringLiteral("-t21"),
                                                      QStringLiteral("-o"), ani, path}).status, 0);
        QCOMPARE(AsBytes(AniBytes(reader, 0)), Contents(ani));
    }
    for (int group = 0; group < groups; ++group) {
        QStringList arguments{QStringLiteral("-x"), QStringLiteral("-t12"), QStringLiteral("-n"),
                              QString::fromStdString(reader.Name(ResourceKind::Cursor, group).Display())};
        const std::vector<std::uint32_t> languages = reader.Languages(ResourceKind::Cursor, group);
        if (!languages.empty())
            arguments << QStringLiteral("--language=%1").arg(languages.front());
        const QString theirsPath = dir.filePath(QStringLiteral("theirs%1.cur").arg(group));
        QCOMPARE(Execute(QStringLiteral("wrestool"), arguments << QStringLiteral("-o") << theirsPath << path).status, 0);
        const QByteArray theirs = Contents(theirsPath);
        const QByteArray ours = AsBytes(CursorFileBytes(reader, group));
        QCOMPARE(ours.left(6), theirs.left(6));
        const int count = qFromLittleEndian<std::uint16_t>(ours.constData() + 4);
        for (int i = 0; i < count; ++i) {
            const qsizetype entry = 6 + 16 * i;
            QCOMPARE(ours.mid(entry, 8), theirs.mid(entry, 8)); // width, height, colours, hotspot
            const auto size = qFromLittleEndian<std::uint32_t>(ours.constData() + entry + 8);
            const auto theirSize = qFromLittleEndian<std::uint32_t>(theirs.constData() + entry + 8);
            QVERIFY2(theirSize >= size + 4 && theirSize < size + 4 + 16, qPrintable(QString::number(theirSize)));
            QCOMPARE(ours.mid(qFromLittleEndian<std::uint32_t>(ours.constData() + entry + 12), size),
                     theirs.mid(qFromLittleEndian<std::uint32_t>(theirs.constData() + entry + 12), size));
        }
        QFile oursFile(dir.filePath(QStringLiteral("ours%1.cur").arg(group)));
        QVERIFY(oursFile.open(QIODevice::WriteOnly));
        oursFile.write(ours);
        oursFile.close();
        const Run listed = Execute(QStringLiteral("icotool"), {QStringLiteral("-l"), oursFile.fileName()});
        QCOMPARE(listed.err, QByteArray());
        QCOMPARE(listed.status, 0);
        QCOMPARE(listed.out.count("--cursor"), count);
    }
}

void TestResources::lists_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<ListProblem>("problem");
    QTest::addColumn<int>("icons");
    // The cursor groups and animated cursors, one line each, as Summary writes them.
    QTest::addColumn<QStringList>("cursors");
    const QStringList cursors{
        QStringLiteral("ARROW 1033 32x32x1@0,0 bmp 304 48x48x32@10,12 bmp 9640"),
        QStringLiteral("HAND 1033 32x32x8@5,1 bmp 2216 16x16x24@2,0 bmp 872"),
        QStringLiteral("2 1033 1041 32x32x4@16,16 bmp 744"),
        QStringLiteral("7 1033 32x32x8@5,1 bmp 2216 16x16x24@2,0 bmp 872"),
        QStringLiteral("BUSY 1033 1176")};
    QTest::newRow("pe32") << QStringLiteral("cursors/cursors.exe") << ListProblem::None << 1 << cursors;
    QTest::newRow("pe32+") << QStringLiteral("cursors/cursors64.dll") << ListProblem::None << 1 << cursors;
    QTest::newRow("ne, exact sizes") << QStringLiteral("cursors/old-cursors.exe") << ListProblem::None << 0
        << QStringList{QString(cursors[1]).replace(QLatin1String("HAND 1033"), QLatin1String("POINTER")),
                       QString(cursors[1]).replace(QLatin1String("HAND 1033"), QLatin1String("5"))};
    QTest::newRow("icons") << QStringLiteral("icons.exe") << ListProblem::None << 9 << QStringList();
    QTest::newRow("icon file") << QStringLiteral("damaged/renamed-icon.dll") << ListProblem::None << 1 << QStringList();
    QTest::newRow("no icons") << QStringLiteral("notes.exe") << ListProblem::NoIconsOrCursors << 0 << QStringList();
    QTest::newRow("no resources") << QStringLiteral("noresources.exe") << ListProblem::NoResources << 0 << QStringList();
    QTest::newRow("empty") << QStringLiteral("damaged/empty.dll") << ListProblem::Empty << 0 << QStringList();
    QTest::newRow("text") << QStringLiteral("damaged/text.exe") << ListProblem::NotExecutable << 0 << QStringList();
    QTest::newRow("headers outside") << QStringLiteral("damaged/lfanew-outside.exe") << ListProblem::Truncated << 0 << QStringList();
    QTest::newRow("data outside") << QStringLiteral("damaged/rva-outside.dll") << ListProblem::NothingReadable << 9 << QStringList();
    QTest::newRow("cut short") << QStringLiteral("icons.exe:400") << ListProblem::Truncated << 0 << QStringList();
    QTest::newRow("resources outside") << QStringLiteral("icons.exe:rva") << ListProblem::DamagedResources << 0 << QStringList();
}

void TestResources::lists()
{
    QFETCH(QString, file);
    QFETCH(ListProblem, problem);
    QFETCH(int, icons);
    QFETCH(QStringList, cursors);
    QByteArray bytes = Contents(kData + QLatin1Char('/') + file.section(QLatin1Char(':'), 0, 0));
    const QString damage = file.section(QLatin1Char(':'), 1);
    if (damage == QLatin1String("rva")) { // the resource directory's address, in no section
        const auto pe = qFromLittleEndian<std::uint32_t>(bytes.constData() + 0x3C);
        qToLittleEndian<std::uint32_t>(0x7FFF0000, bytes.data() + pe + 24 + 96 + 16);
    } else if (!damage.isEmpty()) {
        bytes.truncate(damage.toInt());
    }
    const ResourceListing listing = ListResources(SpanSource(Span(bytes)));
    QCOMPARE(listing.Problem, problem);
    QCOMPARE(int(listing.Icons.size()), icons);
    QCOMPARE(listing.ShownIcon.has_value(), icons > 0);
    QStringList listed;
    for (const auto* groups : {&listing.Cursors, &listing.AnimatedCursors})
        for (const ListedResource& group : *groups)
            listed << Summary(group);
    QCOMPARE(listed, cursors);
}

void TestResources::namesForPeople_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("exact");
    // The first icon group of icons.exe, its NE-style name as bytes, and names no file
    // could be printed with unchanged.
    QTest::newRow("pe string") << QStringLiteral("APPICON") << QByteArray("A\0P\0P\0I\0C\0O\0N\0", 14) << true;
    QTest::newRow("pe lone surrogate") << QStringLiteral("A\uFFFD") << QByteArray("A\0\x00\xD8", 4) << false;
    QTest::newRow("pe pair") << QString::fromUtf8("\U0001F600") << QByteArray("\x3D\xD8\x00\xDE", 4) << true;
    QTest::newRow("ne byte above 0x7f") << QStringLiteral("CAF\uFFFD") << QByteArray("CAF\xC9") << false;
}

void TestResources::namesForPeople()
{
    QFETCH(QString, display);
    QFETCH(QByteArray, stored);
    QFETCH(bool, exact);
    ResourceName name;
    if (QTest::currentDataTag() == QLatin1String("ne byte above 0x7f")) {
        name = {NameForm::Bytes, 0, {}, stored.toStdString()};
    } else {
        name.Form = NameForm::Utf16;
        for (qsizetype i = 0; i < stored.size(); i += 2)
            name.Utf16 += char16_t(qFromLittleEndian<std::uint16_t>(stored.constData() + i));
    }
    if (QTest::currentDataTag() == QLatin1String("pe string")) {
        const QByteArray icons = Contents(kData + QStringLiteral("/icons.exe"));
        const SpanSource source(Span(icons));
        QCOMPARE(IconReader(source).Name(ResourceKind::Icon, 0), name);
    }
    QCOMPARE(QString::fromStdString(name.Display()), display);
    QCOMPARE(AsBytes(name.StoredBytes()), stored);
    QCOMPARE(name.DisplayIsExact(), exact);
}

// An NE file whose two cursor groups share one directory of 65535 images, none of which
// exists: one group and its images fill the listing, and the second is left out.
void TestResources::listsADamagedFileInBounds()
{
    QByteArray ne(0x100, '\0');
    const auto put = [&](qsizetype at, std::uint16_t value) { qToLittleEndian(value, ne.data() + at); };
    put(0, 0x5A4D);
    put(0x3C, 0x40);
    put(0x40, 0x454E);
    put(0x40 + 0x24, 0x40); // the resource table right after the header
    put(0x40 + 0x26, 0x7E);
    std::uint16_t table[] = {4, 0x800C, 2, 0, 0, 0x10, 0xE000, 0, 0x8001, 0, 0, 0x10, 0xE000, 0, 0x8002, 0, 0, 0};
    for (std::size_t i = 0; i < std::size(table); ++i)
        put(0x80 + qsizetype(2 * i), table[i]);
    ne += QByteArray(0xE0000, '\0');
    put(0x100 + 2, 2);
    put(0x100 + 4, 0xFFFF);
    const ResourceListing listing = ListResources(SpanSource(Span(ne)));
    QCOMPARE(int(listing.Cursors.size()), 1);
    QCOMPARE(int(listing.Cursors.front().Variants.front().Images.size()), 65535);
    QVERIFY(listing.Cut);
    QCOMPARE(listing.Problem, ListProblem::NothingReadable);
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
