// The preview window: pages of a report, zoom, paging, print dialog, printing, and
// keeping pages in a file.
#pragma once

#include "report/pages.h"

#include <QMainWindow>

#include <functional>

class QAction;
class QActionGroup;
class QLabel;
class QScrollArea;
class ReportRun;
class TPageView;
class TReport;

class TPreviewForm : public QMainWindow {
    Q_OBJECT
public:
    enum ZoomMode { zmFit, zm100, zmWidth };

    explicit TPreviewForm(TReport& report, QWidget* parent = nullptr);
    ~TPreviewForm() override;

    // Runs the report into the window; false when the run was cancelled (the window
    // closed or the application quit meanwhile).
    bool RunReport();
    bool Running() const { return run_ != nullptr; }

    const ReportPages& Pages() const { return pages_; }
    // 1-based; 0 while there is no page.
    int CurrentPage() const { return current_; }
    int PageCount() const { return int(pages_.pages.size()); }
    void ShowPage(int page);

    ZoomMode Zoom() const { return zoom_; }
    // Device pixels per tenth of a millimetre at the current zoom.
    double Scale() const;
    QString StatusText() const;
    // No menu of bars to hide.
    QMenu* createPopupMenu() override { return nullptr; }

signals:
    void PageShown(int page);
    void RunFinished();
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddAction(const QString& name, const QString& hint, const QIcon& icon);
    bool HandleKey(QKeyEvent* event);
    void SetZoom(ZoomMode mode);
    void UpdateView();
    void UpdateState();
    void PrintSetupClick();
    void PrintClick();
    void SaveReportClick();
    void LoadReportClick();

    TReport& report_;
    ReportPages pages_;
    ReportRun* run_ = nullptr;
    bool closed_ = false;
    bool printing_ = false;
    // The pages shown came from レポート読み込み, not from a run of the report.
    bool pagesFromFile_ = false;
    int current_ = 0;
    ZoomMode zoom_ = zmWidth;

    QActionGroup* zoomGroup_;
    QAction* zoomFit_;
    QAction* zoom100_;
    QAction* zoomToWidth_;
    QAction* firstPage_;
    QAction* previousPage_;
    QAction* nextPage_;
    QAction* lastPage_;
    QAction* printSetup_;
    QAction* print_;
    QAction* saveReport_;
    QAction* loadReport_;
    QAction* exit_;
    QScrollArea* scroll_;
    TPageView* view_;
    QLabel* zoomPanel_;
    QLabel* pagePanel_;
};
