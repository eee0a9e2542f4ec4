// Start-up: the application object, its title and fonts, and the program's windows in
// their order of creation.
#pragma once

#include <memory>

class QApplication;
class TAboutBox;
class TMainForm;
class TReportForm;

// Maps the Windows font names the windows are designed with onto Japanese fonts that
// exist here; without it fontconfig picks a Latin font.
void InstallFontSubstitutes();

class VistrelApplication {
public:
    VistrelApplication();
    ~VistrelApplication();

    TMainForm* MainForm() const { return mainForm_.get(); }
    TAboutBox* AboutBox() const { return aboutBox_; }
    TReportForm* ReportForm() const { return reportForm_.get(); }

    // Shows the main window and runs the message loop until it has closed.
    int Run();

private:
    std::unique_ptr<TMainForm> mainForm_;
    TAboutBox* aboutBox_ = nullptr; // owned by the main window
    std::unique_ptr<TReportForm> reportForm_;
};
