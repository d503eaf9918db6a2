#include "workflow/smalldialogs.h"

#include "models/runsetup.h"
#include "workflow/appicon.h"
#include "workflow/browsefolder.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#ifndef QM_VERSION
#define QM_VERSION "0.0.0"
#endif

namespace qm::desktop {

namespace {

QPushButton* button(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

}  // namespace

// ---- Result type --------------------------------------------------------------------

ResultTypeDialog::ResultTypeDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("frmSelResultType");
    setWindowTitle(QStringLiteral("成果選択"));
    auto* lblNote = new QLabel(QStringLiteral("成果の種類が判定できません。\n成果の種類を指定してください。"), this);
    lblNote->setObjectName("lblNote");
    optChiseki_ = new QRadioButton(QStringLiteral("地籍調査"), this);
    optChiseki_->setObjectName("optChiseki");
    optSenkou_ = new QRadioButton(QStringLiteral("官民境界等先行調査"), this);
    optSenkou_->setObjectName("optSenkou");
    optChiseki_->setChecked(true);
    auto* ok = button(this, "cmdOK", QStringLiteral("OK"));
    ok->setDefault(true);
    auto* cancel = button(this, "cmdCancel", QStringLiteral("ｷｬﾝｾﾙ"));

    auto* options = new QVBoxLayout;
    options->setContentsMargins(24, 4, 4, 4);
    options->addWidget(optChiseki_);
    options->addWidget(optSenkou_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* top = new QVBoxLayout(this);
    top->addWidget(lblNote);
    top->addLayout(options);
    top->addLayout(buttons);

    setMinimumWidth(300);
    connect(ok, &QPushButton::clicked, this, &ResultTypeDialog::onOk);
    connect(cancel, &QPushButton::clicked, this, &ResultTypeDialog::reject);
}

void ResultTypeDialog::onOk() {
    if (optChiseki_->isChecked()) resultType_ = 1;
    else if (optSenkou_->isChecked()) resultType_ = 2;
    else return;
    ok_ = true;
    accept();
}

void ResultTypeDialog::reject() {
    ok_ = false;
    QDialog::reject();
}

// ---- Base folder ----------------------------------------------------------------------

BaseFolderDialog::BaseFolderDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("frmConfig");
    setWindowTitle(QStringLiteral("環境設定"));
    auto* label = new QLabel(QStringLiteral("チェック基準フォルダ (フォルダを参照する際に、最初に開く場所です)"), this);
    txtBasePath_ = new QLineEdit(this);
    txtBasePath_->setObjectName("txtBasePath");
    txtBasePath_->setMinimumWidth(360);
    auto* browse = button(this, "cmdSelCheckFolder", QStringLiteral("参照..."));
    auto* ok = button(this, "cmdOK", QStringLiteral("OK"));
    ok->setDefault(true);
    auto* cancel = button(this, "cmdCancel", QStringLiteral("ｷｬﾝｾﾙ"));

    auto* row = new QHBoxLayout;
    row->addWidget(txtBasePath_, 1);
    row->addWidget(browse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* top = new QVBoxLayout(this);
    top->addWidget(label);
    top->addLayout(row);
    top->addSpacing(8);
    top->addLayout(buttons);

    connect(browse, &QPushButton::clicked, this, [this] {
        // The browser opens without a preselection.
        const std::string chosen = BrowseFolder(this, QStringLiteral("フォルダを選択してください"), {});
        if (!chosen.empty()) txtBasePath_->setText(QString::fromStdString(chosen));
    });
    connect(ok, &QPushButton::clicked, this, [this] {
        basePath_ = txtBasePath_->text();
        ok_ = true;
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &BaseFolderDialog::reject);
}

void BaseFolderDialog::SetBasePath(const QString& path) {
    basePath_ = path;
    txtBasePath_->setText(path);
}

void BaseFolderDialog::reject() {
    ok_ = false;
    QDialog::reject();
}

// ---- About ------------------------------------------------------------------------------

QString AboutDialog::versionText() { return QStringLiteral("Version ") + QStringLiteral(QM_VERSION); }

QString AboutDialog::referenceText() {
    return QStringLiteral("本ソフトは、\n") + "「" + kGuidelineCadastral + "」　" + kGuidelineEdition + " 、\n" + "「" +
           kGuidelinePreliminary + "」　" + kGuidelineEdition + "\nを基に作製されています。";
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("frmVersion");
    setWindowTitle(QStringLiteral("バージョン情報"));
    auto* icon = new QLabel(this);
    icon->setPixmap(appIcon().pixmap(48, 48));
    auto* lblTitle = new QLabel(QStringLiteral("Quillmark"), this);
    lblTitle->setObjectName("lblTitle");
    QFont f = lblTitle->font();
    f.setPointSizeF(f.pointSizeF() * 1.6);
    f.setBold(true);
    lblTitle->setFont(f);
    auto* lblVersion = new QLabel(versionText(), this);
    lblVersion->setObjectName("lblVersion");
    auto* lblReference = new QLabel(referenceText(), this);
    lblReference->setObjectName("lblReference");
    auto* lblCopyright = new QLabel(QStringLiteral("Orvandel"), this);
    lblCopyright->setObjectName("lblCopyright");
    auto* ok = button(this, "cmdOK", QStringLiteral("OK"));
    ok->setDefault(true);

    auto* head = new QHBoxLayout;
    head->addWidget(icon, 0, Qt::AlignTop);
    auto* titles = new QVBoxLayout;
    titles->addWidget(lblTitle);
    titles->addWidget(lblVersion);
    head->addLayout(titles, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblCopyright);
    bottom->addStretch();
    bottom->addWidget(ok);
    auto* top = new QVBoxLayout(this);
    top->addLayout(head);
    top->addSpacing(8);
    top->addWidget(lblReference);
    top->addSpacing(8);
    top->addLayout(bottom);
    connect(ok, &QPushButton::clicked, this, &AboutDialog::accept);
}

}  // namespace qm::desktop
