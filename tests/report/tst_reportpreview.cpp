// The preview window driven as a user would: keys, tool buttons, the print dialog
// and file dialogs answered through the seams, printing to PDF from the window.
#include "samplereport.h"

#include "pdftools.h"

#include "recordingdialogs.h"
#include "report/pagefile.h"
#include "report/preview.h"
#include "report/printing.h"
#include "recordingdialogs.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QAccessible>
#include <QToolBar>
#include <QToolButton>

namespace {
// Told when a preview has been shown, before its run starts.
std::function<void(TPreviewForm&)>& ShownHook()
{
    static std::function<void(TPreviewForm&)> hook;
    return hook;
}
void SetPreviewShownHook(std::function<void(TPreviewForm&)> hook)
{
    ShownHook() = std::move(hook);
}

// Answers the report's dialogs from the test, and records its boxes.
class ScriptedReportDialogs : public RecordingDialogs {
public:
    ScriptedReportDialogs()
    {
        onWindowShown = [](QWidget& window) {
            if (ShownHook())
                ShownHook()(static_cast<TPreviewForm&>(window));
        };
    }

    bool ExecPrintDialog(QPrintDialog& dialog) override { return onPrintDialog ? onPrintDialog(dialog) : false; }
    QString SaveFileName(QWidget*, const QString& caption, const QString&, const QString& filters,
                         QString* selectedFilter) override
    {
        captions << caption;
        offeredFilters = filters;
        if (selectedFilter)
            *selectedFilter = saveFilter;
        return savePath;
    }
    QString OpenFileName(QWidget*, const QString& caption, const QString&) override
    {
        captions << caption;
        return openPath;
    }

    std::function<bool(QPrintDialog&)> onPrintDialog;
    QString savePath, saveFilter, openPath, offeredFilters;
    QStringList captions;
};

// Shows the report's preview; `scenario` runs inside the window's own loop once the
// run has finished. The window is closed after it unless the scenario closed it.
void RunPreview(TReport& report, const std::function<void(TPreviewForm&)>& scenario, bool* closedBeforeReturn = nullptr)
{
    TPreviewForm* shown = nullptr;
    SetPreviewShownHook([&](TPreviewForm& form) {
        shown = &form;
        QObject::connect(&form, &TPreviewForm::RunFinished, &form, [&form, scenario] {
            QTimer::singleShot(0, &form, [&form, scenario] {
                scenario(form);
                QTimer::singleShot(0, &form, &QWidget::close);
            });
        });
        if (closedBeforeReturn) {
            *closedBeforeReturn = false;
            QObject::connect(&form, &TPreviewForm::Closed, &form, [closedBeforeReturn] { *closedBeforeReturn = true; });
        }
    });
    report.Preview();
    SetPreviewShownHook(nullptr);
    QVERIFY(shown);
}

QAction* ActionOf(TPreviewForm& form, const char* name) { return form.findChild<QAction*>(QLatin1String(name)); }

QString PagePanel(TPreviewForm& form) { return form.findChild<QLabel*>(QStringLiteral("PagePanel"))->text(); }

// 21 records of 277 under a header and over a footer of 100: pages of 9, 9 and 3.
struct ThreePages : BandedReport {
    ThreePages() : BandedReport(100, 277, 100, 21) {}
};
} // namespace

class TestReportPreview : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void windowAtOpen()
    {
        ThreePages three;
        bool closed = false;
        QString caption, panel, barName;
        bool maximised = false, widthChecked = false, printEnabled = false, setupEnabled = false;
        QRect unmaximised, available;
        RunPreview(three.report, [&](TPreviewForm& form) {
            caption = form.windowTitle();
            barName = QAccessible::queryAccessibleInterface(form.findChild<QToolBar*>())->text(QAccessible::Name);
            maximised = form.windowState() & Qt::WindowMaximized;
            // What the window keeps where nothing maximises it.
            unmaximised = form.normalGeometry();
            available = form.screen()->availableGeometry();
            widthChecked = ActionOf(form, "ZoomToWidth")->isChecked() && !ActionOf(form, "ZoomFit")->isChecked()
                && !ActionOf(form, "Zoom100")->isChecked();
            panel = PagePanel(form);
            printEnabled = ActionOf(form, "Print")->isEnabled();
            setupEnabled = ActionOf(form, "PrintSetup")->isEnabled();
        }, &closed);
        // The call came back only after the window had closed.
        QVERIFY(closed);
        QCOMPARE(caption, QStringLiteral("プレビュー"));
        QCOMPARE(barName, QStringLiteral("ツール バー"));
        QVERIFY(maximised);
        QCOMPARE(unmaximised, available);
        QVERIFY(widthChecked);
        QCOMPARE(panel, QStringLiteral("ページ: 1 / 3"));
        QVERIFY(printEnabled && setupEnabled);

        three.report.Title = QStringLiteral("アイコン一覧");
        RunPreview(three.report, [&](TPreviewForm& form) { caption = form.windowTitle(); });
        QCOMPARE(caption, QStringLiteral("アイコン一覧"));
    }

    void keys_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QList<int>>("pages");
        const int ctrl = int(Qt::ControlModifier);
        QTest::newRow("page down to the end and past") << QList<int>{Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageDown}
                                                       << QList<int>{2, 3, 3};
        QTest::newRow("page up at the start") << QList<int>{Qt::Key_PageUp} << QList<int>{1};
        QTest::newRow("end, page up, home") << QList<int>{Qt::Key_End, Qt::Key_PageUp, Qt::Key_Home} << QList<int>{3, 2, 1};
        QTest::newRow("ctrl page down, ctrl page up")
            << QList<int>{ctrl | Qt::Key_PageDown, ctrl | Qt::Key_PageUp} << QList<int>{3, 1};
    }

    void keys()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QList<int>, pages);
        ThreePages three;
        QList<int> seen;
        QStringList panels;
        bool escapeClosed = false;
        RunPreview(three.report, [&](TPreviewForm& form) {
            // Keys arrive at the page view, which has the focus.
            auto* view = form.findChild<QScrollArea*>(QStringLiteral("PageView"));
            for (int key : keys) {
                QTest::keyClick(view, Qt::Key(key & ~int(Qt::KeyboardModifierMask)),
                                Qt::KeyboardModifiers(key & int(Qt::KeyboardModifierMask)));
                seen << form.CurrentPage();
                panels << PagePanel(form);
            }
            QTest::keyClick(view, Qt::Key_Escape);
            escapeClosed = !form.isVisible();
        });
        QCOMPARE(seen, pages);
        QCOMPARE(panels.last(), QStringLiteral("ページ: %1 / 3").arg(pages.last()));
        QVERIFY(escapeClosed);
    }

    void closeButtonShowsAndTakesAltC()
    {
        ThreePages three;
        QString caption;
        bool closed = false;
        bool menuShown = true;
        RunPreview(three.report, [&](TPreviewForm& form) {
            auto* bar = form.findChild<QToolBar*>(QStringLiteral("ToolBar"));
            caption = qobject_cast<QToolButton*>(bar->widgetForAction(ActionOf(form, "ExitButton")))->text();
            // A right click on the bar offers nothing that could hide it.
            QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(2, 2), bar->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(bar, &rightClick);
            menuShown = QApplication::activePopupWidget() || form.findChild<QMenu*>() || bar->isFloatable();
            QTest::keyClick(form.findChild<QScrollArea*>(QStringLiteral("PageView")), Qt::Key_C, Qt::AltModifier);
            // The button shows itself pressed for a moment before it acts.
            closed = QTest::qWaitFor([&form] { return !form.isVisible(); }, 2000);
        });
        // The '&' stays, so the button underlines C.
        QCOMPARE(caption, QStringLiteral("閉じる(&C)"));
        QVERIFY(closed);
        QVERIFY(!menuShown);
    }

    void pageButtons()
    {
        ThreePages three;
        QList<int> seen;
        RunPreview(three.report, [&](TPreviewForm& form) {
            for (const char* name : {"NextPage", "LastPage", "PreviousPage", "FirstPage"}) {
                ActionOf(form, name)->trigger();
                seen << form.CurrentPage();
            }
            ActionOf(form, "ExitButton")->trigger();
            seen << form.isVisible();
        });
        QCOMPARE(seen, (QList<int>{2, 3, 2, 1, 0}));
    }

    void zoomButtons()
    {
        ThreePages three;
        RunPreview(three.report, [&](TPreviewForm& form) {
            const QSize room = form.findChild<QScrollArea*>(QStringLiteral("PageView"))->viewport()->size();
            QWidget* page = form.findChild<QScrollArea*>(QStringLiteral("PageView"))->widget();
            const auto onlyChecked = [&form](const char* name) {
                int checked = 0;
                for (const char* zoom : {"ZoomFit", "Zoom100", "ZoomToWidth"})
                    checked += ActionOf(form, zoom)->isChecked();
                return checked == 1 && ActionOf(form, name)->isChecked();
            };

            ActionOf(form, "ZoomFit")->trigger();
            QVERIFY(onlyChecked("ZoomFit"));
            QCOMPARE(form.Zoom(), TPreviewForm::zmFit);
            // The whole page, its grey border included, fits in the window.
            QVERIFY2(page->width() <= room.width() && page->height() <= room.height(),
                     qPrintable(QStringLiteral("%1x%2 in %3x%4").arg(page->width()).arg(page->height()).arg(room.width()).arg(room.height())));
            QVERIFY(page->height() >= room.height() - 2 || page->width() >= room.width() - 2);

            ActionOf(form, "Zoom100")->trigger();
            QVERIFY(onlyChecked("Zoom100"));
            // 210 mm at the screen's resolution.
            QCOMPARE(form.Scale(), form.logicalDpiX() / 254.0);

            ActionOf(form, "ZoomToWidth")->trigger();
            QVERIFY(onlyChecked("ZoomToWidth"));
            const int viewport = form.findChild<QScrollArea*>(QStringLiteral("PageView"))->viewport()->width();
            QVERIFY2(page->width() <= viewport && page->width() >= viewport - 3,
                     qPrintable(QStringLiteral("%1 in %2").arg(page->width()).arg(viewport)));
        });
    }

    void pagesShowWhileTheRunGoesOn()
    {
        // Record 12 is on page 2: page 1 is finished and shown, printing still off.
        ThreePages three;
        TPreviewForm* form = nullptr;
        SetPreviewShownHook([&form](TPreviewForm& shown) { form = &shown; });
        int current = -1, count = -1;
        bool printEnabled = true, setupEnabled = true, running = false;
        QString panel;
        auto feed = three.report.OnNeedData;
        three.report.OnNeedData = [&](TReport& sender, bool& moreData) {
            feed(sender, moreData);
            if (three.feed.current == 12) {
                current = form->CurrentPage();
                count = form->PageCount();
                printEnabled = ActionOf(*form, "Print")->isEnabled();
                setupEnabled = ActionOf(*form, "PrintSetup")->isEnabled();
                running = form->Running();
                panel = PagePanel(*form);
            }
            if (three.feed.current == 21 && !moreData)
                QTimer::singleShot(0, form, &QWidget::close);
        };
        three.report.Preview();
        SetPreviewShownHook(nullptr);
        QCOMPARE(current, 1);
        QCOMPARE(count, 1);
        QCOMPARE(panel, QStringLiteral("ページ: 1 / 1"));
        QVERIFY(running);
        QVERIFY(!printEnabled);
        QVERIFY(!setupEnabled);
    }

    void closingDuringTheRunCancelsIt()
    {
        BandedReport many(100, 100, 100, 100000);
        TPreviewForm* form = nullptr;
        SetPreviewShownHook([&form](TPreviewForm& shown) { form = &shown; });
        auto feed = many.report.OnNeedData;
        many.report.OnNeedData = [&](TReport& sender, bool& moreData) {
            feed(sender, moreData);
            if (many.feed.current == 30)
                QTimer::singleShot(0, form, &QWidget::close);
        };
        bool finished = false;
        QTimer::singleShot(0, [&] { finished = true; });
        many.report.Preview();
        SetPreviewShownHook(nullptr);
        QVERIFY(finished);
        // Record 30 was asked for but the run stopped before printing it.
        QCOMPARE(many.feed.current, 30);
        QVERIFY(!many.report.PreviewShowing());
    }

    void secondPreviewWhileShowingDoesNothing()
    {
        ThreePages three;
        int windows = 0;
        SetPreviewShownHook([&](TPreviewForm& form) {
            ++windows;
            QObject::connect(&form, &TPreviewForm::RunFinished, &form, [&three, &form] {
                QTimer::singleShot(0, &form, [&three, &form] {
                    three.report.Preview();
                    form.close();
                });
            });
        });
        three.report.Preview();
        SetPreviewShownHook(nullptr);
        QCOMPARE(windows, 1);
        QCOMPARE(three.feed.calls, 22);
    }

    void printFromThePreview()
    {
        ThreePages three;
        const QString pdf = dir_.filePath(QStringLiteral("from-preview.pdf"));
        three.report.PrinterSettings.outputFileName = pdf;
        QString progressTitle;
        bool onTop = false;
        int printRunRecords = 0;
        auto feed = three.report.OnNeedData;
        bool printing = false;
        three.report.OnNeedData = [&](TReport& sender, bool& moreData) {
            feed(sender, moreData);
            if (!printing)
                return;
            ++printRunRecords;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* progress = qobject_cast<TPrintProgress*>(top); progress && progress->isVisible()) {
                    progressTitle = progress->windowTitle();
                    onTop = progress->windowFlags() & Qt::WindowStaysOnTopHint;
                }
        };
        RunPreview(three.report, [&](TPreviewForm& form) {
            printing = true;
            ActionOf(form, "Print")->trigger();
        });
        // A new run from the first record, to the file.
        QCOMPARE(printRunRecords, 22);
        QCOMPARE(progressTitle, QStringLiteral("印刷中"));
        QVERIFY(onTop);
        QCOMPARE(PdfInfo(pdf, QStringLiteral("Pages")), QStringLiteral("3"));
    }

    void printAfterLoadPrintsTheLoadedPages()
    {
        // Three pages kept in a file ...
        ThreePages three;
        ReportPages kept;
        kept.paperSize = QSizeF(three.report.Page.pageWidth, three.report.Page.pageLength);
        PageStoreSink sink(kept);
        ReportRun run(three.report);
        run.pumpMessages = nullptr;
        run.Execute(sink);
        ScriptedReportDialogs dialogs;
        dialogs.openPath = dir_.filePath(QStringLiteral("three.vrp"));
        QVERIFY(pagefile::Save(kept, dialogs.openPath));

        // ... loaded into the preview of a report of one page, and printed: pages 2 to 3, twice.
        BandedReport one(100, 277, 100, 2);
        const QString pdf = dir_.filePath(QStringLiteral("loaded.pdf"));
        one.report.PrinterSettings.outputFileName = pdf;
        one.report.PrinterSettings.firstPage = 2;
        one.report.PrinterSettings.lastPage = 3;
        one.report.PrinterSettings.copies = 2;
        int runs = 0;
        one.report.BeforePrint = [&](TReport&, bool&) {
            ++runs;
            one.feed.current = 0;
        };
        int barMaximum = -1, barLast = -1;
        RunPreview(one.report, [&](TPreviewForm& form) {
            ActionOf(form, "LoadReport")->trigger();
            // Comes while the pages print, once the progress window shows.
            QTimer::singleShot(0, &form, [&] {
                for (QWidget* top : QApplication::topLevelWidgets())
                    if (auto* progress = qobject_cast<TPrintProgress*>(top)) {
                        auto* bar = progress->findChild<QProgressBar*>();
                        barMaximum = bar->maximum();
                        QObject::connect(bar, &QProgressBar::valueChanged, [&barLast](int value) { barLast = value; });
                    }
            });
            ActionOf(form, "Print")->trigger();
        });
        // Only the preview's own run: the loaded pages were printed, not a new run.
        QCOMPARE(runs, 1);
        QCOMPARE(PdfInfo(pdf, QStringLiteral("Pages")), QStringLiteral("4"));
        const QStringList second = PdfTexts(PdfWords(pdf, 1)), third = PdfTexts(PdfWords(pdf, 2));
        QVERIFY2(second.contains(QStringLiteral("D10")) && second.contains(QStringLiteral("D18")), qPrintable(second.join(' ')));
        QVERIFY2(third.contains(QStringLiteral("D21")) && !third.contains(QStringLiteral("D1")), qPrintable(third.join(' ')));
        QCOMPARE(PdfTexts(PdfWords(pdf, 3)), second);
        QCOMPARE(barMaximum, 4);
        QCOMPARE(barLast, 4);
    }

    void cancelPrinting()
    {
        BandedReport many(100, 277, 100, 200);
        const QString pdf = dir_.filePath(QStringLiteral("cancelled.pdf"));
        many.report.PrinterSettings.outputFileName = pdf;
        bool printing = false;
        int printRunRecords = 0;
        auto feed = many.report.OnNeedData;
        many.report.OnNeedData = [&](TReport& sender, bool& moreData) {
            feed(sender, moreData);
            if (!printing || ++printRunRecords != 20)
                return;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* progress = qobject_cast<TPrintProgress*>(top); progress && progress->isVisible())
                    QTest::mouseClick(progress->CancelButton(), Qt::LeftButton);
        };
        RunPreview(many.report, [&](TPreviewForm& form) {
            printing = true;
            ActionOf(form, "Print")->trigger();
        });
        // No record is asked for after the one during which Cancel was pressed.
        QCOMPARE(printRunRecords, 20);
        QVERIFY(many.feed.current < 200);
    }

    void noUsablePrinter()
    {
        ScriptedReportDialogs boxes;
        ThreePages three;
        three.report.PrinterSettings.printerName = QStringLiteral("no-such-printer");
        int runs = 0;
        three.report.BeforePrint = [&runs, &three](TReport&, bool&) {
            ++runs;
            three.feed.current = 0;
        };
        RunPreview(three.report, [](TPreviewForm& form) { ActionOf(form, "Print")->trigger(); });
        QCOMPARE(runs, 1);
        QCOMPARE(boxes.shown, QStringList{QStringLiteral("information: 使用できるプリンタがありません。")});
    }

    void printDialog_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("OK") << true;
        QTest::newRow("cancel") << false;
    }

    void printDialog()
    {
        QFETCH(bool, accept);
        ThreePages three;
        three.report.PrinterSettings.copies = 3;
        three.report.PrinterSettings.outputFileName = dir_.filePath(QStringLiteral("before.pdf"));
        ScriptedReportDialogs dialogs;
        int minPage = -1, maxPage = -1, presetCopies = -1;
        QPageLayout::Orientation presetOrientation = QPageLayout::Landscape;
        const QString chosen = dir_.filePath(QStringLiteral("chosen.pdf"));
        dialogs.onPrintDialog = [&](QPrintDialog& dialog) {
            minPage = dialog.minPage();
            maxPage = dialog.maxPage();
            QPrinter* printer = dialog.printer();
            presetCopies = printer->copyCount();
            presetOrientation = printer->pageLayout().orientation();
            // What a user picks: pages 2 to 3, two copies, landscape, another file.
            printer->setPrintRange(QPrinter::PageRange);
            printer->setFromTo(2, 3);
            printer->setCopyCount(2);
            printer->setPageOrientation(QPageLayout::Landscape);
            printer->setOutputFileName(chosen);
            return accept;
        };
        RunPreview(three.report, [](TPreviewForm& form) { ActionOf(form, "PrintSetup")->trigger(); });
        QCOMPARE(minPage, 1);
        QCOMPARE(maxPage, 3);
        QCOMPARE(presetCopies, 3);
        QCOMPARE(presetOrientation, QPageLayout::Portrait);
        const TPrinterSettings& settings = three.report.PrinterSettings;
        if (accept) {
            QCOMPARE(settings.firstPage, 2);
            QCOMPARE(settings.lastPage, 3);
            QCOMPARE(settings.copies, 2);
            QCOMPARE(settings.outputFileName, chosen);
            QCOMPARE(three.report.Page.orientation, QPageLayout::Landscape);
            QCOMPARE(three.report.Page.pageWidth, 2970.0);
        } else {
            QCOMPARE(settings.firstPage, 0);
            QCOMPARE(settings.lastPage, 0);
            QCOMPARE(settings.copies, 3);
            QCOMPARE(settings.outputFileName, dir_.filePath(QStringLiteral("before.pdf")));
            QCOMPARE(three.report.Page.orientation, QPageLayout::Portrait);
        }
    }

    void saveAndLoad()
    {
        ScriptedReportDialogs dialogs;
        ThreePages three;
        const QString kept = dir_.filePath(QStringLiteral("kept"));
        const QString pdf = dir_.filePath(QStringLiteral("kept-as.pdf"));
        const QString junk = dir_.filePath(QStringLiteral("junk.vrp"));
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("VSTRLRPT\1\0\0\0 not really", 22));
        file.close();

        ReportPages shown, loaded;
        int pageAfterLoad = 0, countAfterJunk = 0;
        RunPreview(three.report, [&](TPreviewForm& form) {
            shown = form.Pages();
            form.ShowPage(3);
            dialogs.savePath = kept;
            dialogs.saveFilter = QString::fromUtf8(pagefile::kFilter);
            ActionOf(form, "SaveReport")->trigger();
            dialogs.savePath = pdf;
            dialogs.saveFilter = QString::fromUtf8(pagefile::kPdfFilter);
            ActionOf(form, "SaveReport")->trigger();
            dialogs.savePath = kept + QStringLiteral("-typed.VRP"); // the typed extension wins
            ActionOf(form, "SaveReport")->trigger();

            dialogs.openPath = junk;
            ActionOf(form, "LoadReport")->trigger();
            countAfterJunk = form.PageCount();
            dialogs.openPath = kept + QStringLiteral(".vrp");
            ActionOf(form, "LoadReport")->trigger();
            loaded = form.Pages();
            pageAfterLoad = form.CurrentPage();
        });
        QCOMPARE(dialogs.captions, (QStringList{"レポートの保存", "レポートの保存", "レポートの保存", "レポート読み込み", "レポート読み込み"}));
        QCOMPARE(pagefile::Load(kept + QStringLiteral("-typed.VRP"))->pages.size(), std::size_t(3));
        QVERIFY(dialogs.offeredFilters.contains(QStringLiteral("*.pdf")));
        QCOMPARE(PdfInfo(pdf, QStringLiteral("Pages")), QStringLiteral("3"));
        QCOMPARE(dialogs.shown, QStringList{QStringLiteral("error: レポートを読み込めませんでした。\nレポートファイルが壊れています。")});
        QCOMPARE(countAfterJunk, 3);
        QCOMPARE(pageAfterLoad, 1);
        QCOMPARE(loaded.pages.size(), std::size_t(3));
        for (std::size_t i = 0; i < 3; ++i)
            QCOMPARE(RenderPage(loaded.pages[i], loaded.paperSize, 40), RenderPage(shown.pages[i], shown.paperSize, 40));
    }

private:
    QTemporaryDir dir_;
    ScriptedReportDialogs always_; // every preview reaches ShownHook
};

QTEST_MAIN(TestReportPreview)
#include "tst_reportpreview.moc"
