// Opens a folder of 10 000 icons through the real Open command, offscreen, next to the
// batch command line on the same folder; then times building and freeing pages of 112
// and of 501 cells. Run: build/bench/open/bench_open (it makes its own folder).
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

#include <cstdio>

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

// Builds a page for the given client size and returns build and free times.
std::pair<double, double> TimePage(TMainForm& form, QSize client)
{
    form.BrowseSession.ImageFileCount = 0; // no automatic re-layout while resizing
    form.resize(client.width(), client.height() + form.menuBar()->height());
    form.BrowseSession.ImageFileCount = 1;
    form.IconGrid.ApplyGridGeometry(TIconGrid::Variant::AfterScan, form.ClientSize(), form.StatusBar1->height());
    form.IconGrid.FreePage();
    QElapsedTimer clock;
    clock.start();
    form.IconGrid.BuildPage(1);
    const double build = Seconds(clock);
    clock.restart();
    form.IconGrid.FreePage();
    return {build, Seconds(clock)};
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir work;
    const QString folder = work.filePath("icons");
    QDir().mkpath(folder);
    const QString data = QStringLiteral(VISTREL_TEST_DATA);
    // icons.exe holds 8 icons and icons64.dll 3: 910 pairs give 10 010, past the 10 000 kept.
    for (int i = 0; i < 910; ++i) {
        QFile::copy(data + "/icons.exe", folder + QStringLiteral("/app%1.exe").arg(i, 4, 10, QLatin1Char('0')));
        QFile::copy(data + "/icons64.dll", folder + QStringLiteral("/lib%1.dll").arg(i, 4, 10, QLatin1Char('0')));
    }

    QDir().mkpath(work.filePath("program"));
    SetProgramFolder(work.filePath("program"));
    AnswerFolder answer(folder);
    InstallDialogs(&answer);
    VistrelApplication vistrel;
    TMainForm& form = *vistrel.MainForm();
    form.show();

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

    const auto [build112, free112] = TimePage(form, {775, 494});
    const auto [build501, free501] = TimePage(form, {16 + 51 * 30, 35 + 52 * 20});
    std::printf("page of %d cells: build %.1f ms (target 40), free %.1f ms\n", 112, build112 * 1e3, free112 * 1e3);
    std::printf("page of %d cells: build %.1f ms (target 150), free %.1f ms\n", 501, build501 * 1e3, free501 * 1e3);
    InstallDialogs(nullptr);
    return 0;
}
