// The printer's property sheet: every setting its driver offers, a page for each of the
// driver's groups, each set to the value in force for this user.
#pragma once

#include "platform/printers.h"

#include <QDialog>

#include <utility>
#include <vector>

class QComboBox;

class TPrinterSheet : public QDialog {
    Q_OBJECT
public:
    TPrinterSheet(const PrinterProperties& printer, QWidget* owner);

    // The settings the user changed, keyword and new choice.
    std::vector<std::pair<QByteArray, QByteArray>> Changes() const;

private:
    struct Field {
        QByteArray keyword;
        QByteArray shown;
        QComboBox* box;
    };
    std::vector<Field> fields_;
};
