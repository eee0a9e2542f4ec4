// The version-information dialog; all layout, no behaviour of its own.
#pragma once

#include <QDialog>

class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QPushButton* OKButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};
