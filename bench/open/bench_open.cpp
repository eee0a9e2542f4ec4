// Opens a folder of 10 000 icons through the real Open command, offscreen, next to the
// batch command line on the same folder; then times building and freeing pages of 112
// and of 501 cells, and building them again in a second run of itself at a scale factor
// of 2, where the cells are drawn from the icons' files. Last, a System32 folder of 4 000
// files, half of them taking their icons from SystemResources/NAME.mun, beside the same
// files with those icons inside them, each opened in a process of its own for its peak
// memory. Run: build/bench/open/bench_open (it makes its own folders).
#include "app/application.h"
#include "app/mainform.h"
#include "ui/dialogs.h"
#include "platform/programfolder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <tuple>

#include <sys/resource.h>

namespace {

class AnswerFolder : public Dialogs {
public:
    explicit AnswerFolder(QString folder) : folder_(std::move(folder)) {}
    std::optional<QString> ChooseFolder(QWidget*, const QString&) override { return folder_; }
    void Information(QWidget*, const QString& text) override { std::printf("  (box: %s)\n", qPrintable(text)); }

private:
    QString folder_;
};

double Seconds(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

struct PageTimes {
    double build = 1e9; // BuildPage alone
    double shown = 1e9; // until the last sharp picture is on the page too
    double free = 1e9;
};

// Builds a page for the given client size and times it, the best of three.
PageTimes TimePage(TMainForm& form, QSize client)
{
    form.BrowseSession.ImageFileCount = 0; // no automatic re-layout while resizing
    form.resize(client.width(), client.height() + form.menuBar()->height());
    form.BrowseSession.ImageFileCount = 1;
    form.IconGrid.ApplyGridGeometry(TIconGrid::Variant::AfterScan, form.ClientSize(), form.StatusBar1->height());
    form.IconGrid.FreePage();
    PageTimes best;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer clock;
        clock.start();
        form.IconGrid.BuildPage(1);
        best.build = std::min(best.build, Seconds(clock));
        while (form.IconGrid.DrawingSharpPictures())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        best.shown = std::min(best.shown, Seconds(clock));
        clock.restart();
        form.IconGrid.FreePage();
        best.free = std::min(best.free, Seconds(clock));
    }
    return best;
}

constexpr QSize kPage112{775, 494};
constexpr QSize kPage501{16 + 51 * 30, 35 + 52 * 20};

// The window, its program folder in work and Open's folder dialog answered with folder.
struct BenchWindow {
    BenchWindow(QTemporaryDir& work, const QString& folder) : answer(folder)
    {
        QDir().mkpath(work.filePath("program"));
        SetProgramFolder(work.filePath("program"));
        InstallDialogs(&answer);
        vistrel = std::make_unique<VistrelApplication>();
        Form().show();
    }
    ~BenchWindow() { InstallDialogs(nullptr); }
    TMainForm& Form() const { return *vistrel->MainForm(); }

    AnswerFolder answer;
    std::unique_ptr<VistrelApplication> vistrel;
};

// The second run: opens folder and prints the ratio, then for each page its build time
// and the time until its last sharp picture is in.
int TimePagesOnly(const QString& folder, QTemporaryDir& work)
{
    const BenchWindow window(work, folder);
    TMainForm& form = window.Form();
    form.Open1->trigger();
    const PageTimes page112 = TimePage(form, kPage112);
    const PageTimes page501 = TimePage(form, kPage501);
    std::printf("%g %g %g %g %g\n", form.devicePixelRatioF(), page112.build, page112.shown, page501.build, page501.shown);
    return 0;
}

// A run of its own: opens folder and prints the time Open took, the processor time of the
// whole run (less disturbed by other work on the machine), the peak memory in KB and the icons.
int TimeOpenOnly(const QString& folder, QTemporaryDir& work)
{
    const BenchWindow window(work, folder);
    QElapsedTimer clock;
    clock.start();
    window.Form().Open1->trigger();
    const double open = Seconds(clock);
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("%g %g %ld %d\n", open, cpu, usage.ru_maxrss, window.Form().BrowseSession.IconCount);
    return 0;
}

// Windows/System32 of 4 000 files in root: 2 000 libraries as Windows 10 ships them, with
// their icons in SystemResources/NAME.mun when redirected, else with those icons inside,
// and 2 000 programs with an icon of their own.
QString LayOutSystem32(const QString& root, bool redirected)
{
    const QString data = QStringLiteral(VISTREL_TEST_DATA "/windows/Windows/");
    const QString system = root + "/Windows/System32/";
    QDir().mkpath(system);
    QDir().mkpath(root + "/Windows/SystemResources");
    for (int i = 0; i < 2000; ++i) {
        const QString library = QStringLiteral("lib%1.dll").arg(i, 4, 10, QLatin1Char('0'));
        const QString mun = data + "SystemResources/shell32.dll.mun";
        if (redirected) {
            QFile::copy(data + "System32/shell32.dll", system + library);
            QFile::copy(mun, root + "/Windows/SystemResources/" + library + ".mun");
        } else {
            QFile::copy(mun, system + library);
        }
        QFile::copy(data + "System32/owner.dll", system + QStringLiteral("app%1.exe").arg(i, 4, 10, QLatin1Char('0')));
    }
    return system.chopped(1);
}

// Opens each folder in a process of its own, three times in turn; the best times and the
// larger peak of each.
void CompareSystem32(QTemporaryDir& work)
{
    const QString folders[] = {LayOutSystem32(work.filePath("redirected"), true), LayOutSystem32(work.filePath("inside"), false)};
    double seconds[2] = {1e9, 1e9};
    double cpu[2] = {1e9, 1e9};
    long peak[2] = {0, 0};
    int icons[2] = {0, 0};
    for (int run = 0; run < 6; ++run) {
        QProcess child;
        child.setStandardErrorFile(QProcess::nullDevice());
        child.start(QCoreApplication::applicationFilePath(), {"--open", folders[run % 2]});
        child.waitForFinished(-1);
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split('\n').last().split(' ');
        if (figures.size() != 4)
            continue;
        seconds[run % 2] = std::min(seconds[run % 2], figures[0].toDouble());
        cpu[run % 2] = std::min(cpu[run % 2], figures[1].toDouble());
        peak[run % 2] = std::max(peak[run % 2], figures[2].toLong());
        icons[run % 2] = figures[3].toInt();
    }
    std::printf("System32, 4000 files:      redirected       icons inside\n");
    std::printf("  icons                    %-16d %d\n", icons[0], icons[1]);
    std::printf("  Open                     %-16.2f %.2f s   ratio %.2f (target at most 1.2)\n", seconds[0], seconds[1],
                seconds[0] / seconds[1]);
    std::printf("  processor time of a run  %-16.2f %.2f s   ratio %.2f\n", cpu[0], cpu[1], cpu[0] / cpu[1]);
    std::printf("  peak memory              %-16ld %ld KB  ratio %.3f (target at most 1.05)\n", peak[0], peak[1],
                double(peak[0]) / double(peak[1]));
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir work;
    if (argc == 3 && QByteArray(argv[1]) == "--pages")
        return TimePagesOnly(QString::fromLocal8Bit(argv[2]), work);
    if (argc == 3 && QByteArray(argv[1]) == "--open")
        return TimeOpenOnly(QString::fromLocal8Bit(argv[2]), work);
    if (argc == 2 && QByteArray(argv[1]) == "--system32") {
        CompareSystem32(work);
        return 0;
    }
    const QString folder = work.filePath("icons");
    QDir().mkpath(folder);
    const QString data = QStringLiteral(VISTREL_TEST_DATA);
    // icons.exe holds 8 icons and icons64.dll 3: 910 pairs give 10 010, past the 10 000 kept.
    for (int i = 0; i < 910; ++i) {
        QFile::copy(data + "/icons.exe", folder + QStringLiteral("/app%1.exe").arg(i, 4, 10, QLatin1Char('0')));
        QFile::copy(data + "/icons64.dll", folder + QStringLiteral("/lib%1.dll").arg(i, 4, 10, QLatin1Char('0')));
    }

    const BenchWindow window(work, folder);
    TMainForm& form = window.Form();

    QElapsedTimer clock;
    clock.start();
    form.Open1->trigger();
    const double open = Seconds(clock);

    const QString batchOut = work.filePath("batch");
    QDir().mkpath(batchOut);
    clock.restart();
    QProcess batch;
    batch.setStandardOutputFile(QProcess::nullDevice());
    batch.setStandardErrorFile(QProcess::nullDevice());
    batch.start(QCoreApplication::applicationDirPath() + "/../../bin/vistrel", {"--extract", folder, batchOut});
    batch.waitForFinished(-1);
    const double batchSeconds = Seconds(clock);

    std::printf("folder: 1820 files, %d icons kept\n", form.BrowseSession.IconCount);
    std::printf("Open through the handler: %.2f s\n", open);
    std::printf("vistrel --extract:        %.2f s\n", batchSeconds);
    std::printf("ratio Open / --extract:   %.2f (target at most 1.5)\n", open / batchSeconds);

    const PageTimes page112 = TimePage(form, kPage112);
    const PageTimes page501 = TimePage(form, kPage501);
    std::printf("page of %d cells: build %.1f ms (target 40), free %.1f ms\n", 112, page112.build * 1e3, page112.free * 1e3);
    std::printf("page of %d cells: build %.1f ms (target 150), free %.1f ms\n", 501, page501.build * 1e3, page501.free * 1e3);

    // The scale factor is read once, when the application starts: hence a second process.
    QProcess scaled;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_SCALE_FACTOR", "2");
    scaled.setProcessEnvironment(environment);
    scaled.setStandardErrorFile(QProcess::nullDevice());
    scaled.start(QCoreApplication::applicationFilePath(), {"--pages", folder});
    scaled.waitForFinished(-1);
    // The last line: Open's boxes come before it.
    const QList<QByteArray> figures = scaled.readAllStandardOutput().trimmed().split('\n').last().split(' ');
    if (figures.size() != 5) {
        std::printf("the run at a scale factor of 2 failed\n");
        return 1;
    }
    std::printf("device pixel ratio %s:\n", figures[0].constData());
    for (const auto& [cells, at1, build, shown] : {std::tuple(112, page112.build, figures[1], figures[2]),
                                                   std::tuple(501, page501.build, figures[3], figures[4])})
        std::printf("page of %d cells: build %.1f ms, %.2f times the build at 1 (target at most 2); "
                    "sharp pictures all in after %.1f ms\n",
                    cells, build.toDouble() * 1e3, build.toDouble() / at1, shown.toDouble() * 1e3);
    CompareSystem32(work);
    return 0;
}
