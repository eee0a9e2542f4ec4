// Start-up: the application object, its title and fonts, and the program's windows in
// their order of creation.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTranslator>

#include <memory>

class QApplication;
class TAboutBox;
class TMainForm;
class TReportForm;

// Maps the Windows font names the windows are designed with onto Japanese fonts that
// exist here; without it fontconfig picks a Latin font.
void InstallFontSubstitutes();

// Qt's own texts (the buttons of message boxes, the print, page set-up and file dialogs) in
// Japanese whatever the system's locale: Qt's Japanese catalogue, and for the few texts of
// those dialogs that the catalogue lacks, ours.
class QtJapaneseTexts : public QTranslator {
public:
    QtJapaneseTexts();
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
    bool isEmpty() const override { return false; }

private:
    QTranslator catalogue_;
};

class VistrelApplication {
public:
    VistrelApplication();
    ~VistrelApplication();

    TMainForm* MainForm() const { return mainForm_.get(); }
    TAboutBox* AboutBox() const { return aboutBox_; }
    TReportForm* ReportForm() const { return reportForm_.get(); }

    // Shows the main window, opens folder in it unless that is empty, and runs the
    // message loop until the window has closed.
    int Run(const QByteArray& folder = QByteArray());

private:
    QtJapaneseTexts qtTexts_;
    std::unique_ptr<TMainForm> mainForm_;
    TAboutBox* aboutBox_ = nullptr; // owned by the main window
    std::unique_ptr<TReportForm> reportForm_;
};
