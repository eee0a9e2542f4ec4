#include "print/reportform.h"

TReportForm::TReportForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ReportForm"));
    hide();
}
