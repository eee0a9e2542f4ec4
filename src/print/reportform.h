// The hidden window that holds the icon list's report definition. It is never shown itself.
#pragma once

#include <QWidget>

class TReportForm : public QWidget {
    Q_OBJECT
public:
    explicit TReportForm(QWidget* parent = nullptr);
};
