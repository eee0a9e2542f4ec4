#include "platform/printersheet.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

TPrinterSheet::TPrinterSheet(const PrinterProperties& printer, QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("PrinterSheet"));
    setWindowTitle(printer.name + QStringLiteral(" のプロパティ"));
    auto* layout = new QVBoxLayout(this);

    if (printer.options.empty()) {
        layout->addWidget(new QLabel(QStringLiteral("このプリンタのドライバーには設定できる項目がありません。"), this));
    } else {
        auto* pages = new QTabWidget(this);
        QFormLayout* form = nullptr;
        QString group;
        for (const PrinterOption& option : printer.options) {
            if (!form || option.group != group) {
                group = option.group;
                auto* scroll = new QScrollArea(pages);
                scroll->setWidgetResizable(true);
                scroll->setFrameShape(QFrame::NoFrame);
                auto* page = new QWidget(scroll);
                form = new QFormLayout(page);
                scroll->setWidget(page);
                pages->addTab(scroll, group);
            }
            auto* box = new QComboBox;
            box->setObjectName(QString::fromLatin1(option.keyword));
            for (const PrinterOption::Choice& choice : option.choices)
                box->addItem(choice.text, choice.keyword);
            box->setCurrentIndex(box->findData(option.current));
            form->addRow(option.text + QLatin1Char(':'), box);
            fields_.push_back({option.keyword, option.current, box});
        }
        layout->addWidget(pages, 1);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::vector<std::pair<QByteArray, QByteArray>> TPrinterSheet::Changes() const
{
    std::vector<std::pair<QByteArray, QByteArray>> changes;
    for (const Field& field : fields_) {
        // A driver may name as its default a choice it doesn't list: the box then shows
        // none, and nothing the user didn't choose may become a default.
        if (field.box->currentIndex() < 0)
            continue;
        const QByteArray chosen = field.box->currentData().toByteArray();
        if (chosen != field.shown)
            changes.emplace_back(field.keyword, chosen);
    }
    return changes;
}
