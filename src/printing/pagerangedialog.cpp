#include "printing/pagerangedialog.h"

#include "foundation/messages.h"
#include "printing/layout/fonts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qm::desktop {

PageRangeDialog::PageRangeDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmPrintPage"));
    setWindowTitle(QStringLiteral("印刷範囲"));
    QFont f(kPGothic);
    f.setPointSize(9);
    setFont(f);

    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("fraPage"));
    auto* grid = new QGridLayout(frame);
    const char* texts[3] = {"全て印刷", "表示しているページを印刷", "ページ指定"};
    for (int i = 0; i < 3; ++i) {
        options_[i] = new QRadioButton(QString::fromUtf8(texts[i]), frame);
        options_[i]->setObjectName(QStringLiteral("optPage"));
        options_[i]->setProperty("index", i);
        grid->addWidget(options_[i], i, 0, 1, 5);
    }
    options_[0]->setChecked(true);

    start_ = new QLineEdit(QStringLiteral("1"), frame);
    start_->setObjectName(QStringLiteral("txtPageS"));
    end_ = new QLineEdit(frame);
    end_->setObjectName(QStringLiteral("txtPageE"));
    for (QLineEdit* box : {start_, end_}) {
        box->setMaxLength(5);
        box->setFixedWidth(56);
        box->setAlignment(Qt::AlignRight);
    }
    auto* startLabel = new QLabel(QStringLiteral("開始"), frame);
    auto* endLabel = new QLabel(QStringLiteral("～ 終了"), frame);
    grid->addWidget(startLabel, 3, 1);
    grid->addWidget(start_, 3, 2);
    grid->addWidget(endLabel, 3, 3);
    grid->addWidget(end_, 3, 4);
    hint_ = new QLabel(frame);
    hint_->setObjectName(QStringLiteral("lblRange"));
    grid->addWidget(hint_, 4, 1, 1, 4, Qt::AlignRight);
    grid->setColumnMinimumWidth(0, 16);

    ok_button_ = new QPushButton(QStringLiteral("OK"), this);
    ok_button_->setObjectName(QStringLiteral("cmdOK"));
    ok_button_->setDefault(true);
    cancel_button_ = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cancel_button_->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_button_);
    buttons->addWidget(cancel_button_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);

    for (QLineEdit* box : {start_, end_})
        connect(box, &QLineEdit::textChanged, this, [this] {
            if (!filling_) options_[print::kTypedRange]->setChecked(true);
        });
    connect(ok_button_, &QPushButton::clicked, this, &PageRangeDialog::confirm);
    connect(cancel_button_, &QPushButton::clicked, this, [this] {
        ok_ = false;
        reject();
    });
    setPageRange(1, 1);
}

void PageRangeDialog::setPageRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    filling_ = true;
    start_->setText(QString::number(minimum));
    end_->setText(QString::number(maximum));
    filling_ = false;
    hint_->setText(print::pageRangeHint(minimum, maximum));
}

int PageRangeDialog::selectedOption() const {
    for (int i = 0; i < 3; ++i)
        if (options_[i]->isChecked()) return i;
    return 0;
}

void PageRangeDialog::confirm() {
    const print::RangeChoice c =
        print::choosePageRange(selectedOption(), start_->text(), end_->text(), minimum_, maximum_);
    if (!c.valid) {
        showMessage("印刷範囲", "ページの指定が不正です。", MsgIcon::Exclamation);
        return;
    }
    choice_ = c;
    ok_ = true;
    accept();
}

}  // namespace qm::desktop
