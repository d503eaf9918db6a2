#include "workflow/checkrundialog.h"

#include "models/doclist.h"
#include "models/runsetup.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "views/launch.h"
#include "workflow/mediumlocationdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <optional>

namespace qm::desktop {

namespace {

constexpr int kHelpContext = 13200;
constexpr qint64 kYieldIntervalMs = 30;

QPushButton* button(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

QLineEdit* dateBox(QWidget* parent, const char* name, int maxLength) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(maxLength);
    e->setAlignment(Qt::AlignRight);
    e->setFixedWidth(maxLength == 4 ? 52 : 32);
    return e;
}

}  // namespace

// The run's hooks on the user-interface thread: pending events are let through at the
// run's points and, throttled, during the folder walk.
class CheckRunDialog::Observer : public CheckRunObserver {
public:
    Observer(CheckRunDialog& w, DeliverablesList& docs) : w_(w), docs_(docs) { clock_.start(); }
    void yield() override {
        QApplication::processEvents();
        clock_.restart();
    }
    void mediumStarted(int n, int, const std::string&) override {
        w_.lblInfo_->setText(QStringLiteral("成果%1枚目をチェック中です・・・").arg(n));
        w_.lblCount_->clear();
        w_.fraInfo_->setVisible(true);
    }
    void entriesWalked(int64_t entries) override {
        if (clock_.elapsed() < kYieldIntervalMs) return;
        w_.lblCount_->setText(QStringLiteral("%L1 件").arg(entries));
        yield();
    }
    void mediumFinished(int, const std::string& path) override {
        docs_.SearchFiles(path);
        w_.fraInfo_->setVisible(false);
    }

private:
    CheckRunDialog& w_;
    DeliverablesList& docs_;
    QElapsedTimer clock_;
};

// Asks the user for media after the first with one location dialog kept for the whole
// run, so that its options and text carry over from medium to medium.
class CheckRunDialog::DialogLocator : public MediumLocator {
public:
    explicit DialogLocator(QWidget* parent) : dialog_(parent) {}
    std::optional<std::string> askMedium(int n, const std::string& defaultPath) override {
        dialog_.SetMediaNum(n);
        if (!defaultPath.empty()) dialog_.SetDefaultPath(defaultPath);
        dialog_.exec();
        if (!dialog_.IsOK()) return std::nullopt;
        return dialog_.GetCheckFolder();
    }

private:
    MediumLocationDialog dialog_;
};

CheckRunDialog::CheckRunDialog(AppState& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName("frmCheckAll");
    setWindowTitle(QStringLiteral("チェック内容設定"));

    // Result type.
    fraResultType_ = new QGroupBox(QStringLiteral("成果内容"), this);
    fraResultType_->setObjectName("fraResultType");
    cmbResultType_ = new QComboBox(fraResultType_);
    cmbResultType_->setObjectName("cmbResultType");
    cmbResultType_->setMinimumWidth(220);
    for (const auto& item : kResultTypeItems) cmbResultType_->addItem(QString::fromUtf8(item.text), item.data);
    cmbResultType_->setCurrentIndex(-1);
    auto* rtLayout = new QHBoxLayout(fraResultType_);
    rtLayout->addWidget(cmbResultType_);
    rtLayout->addStretch();
    lblNotice_ = new QLabel(this);
    lblNotice_->setObjectName("lblNotice");

    // Number of media.
    fraMediaNum_ = new QGroupBox(QStringLiteral("成果メディア(CD/DVD/BD)枚数"), this);
    fraMediaNum_->setObjectName("fraMediaNum");
    txtMediaNum_ = new QLineEdit(fraMediaNum_);
    txtMediaNum_->setObjectName("txtMediaNum");
    txtMediaNum_->setMaxLength(3);
    txtMediaNum_->setAlignment(Qt::AlignRight);
    txtMediaNum_->setFixedWidth(44);
    auto* cmdUp = button(fraMediaNum_, "cmdUp", QStringLiteral("▲"));
    auto* cmdDown = button(fraMediaNum_, "cmdDown", QStringLiteral("▼"));
    for (auto* b : {cmdUp, cmdDown}) b->setFixedWidth(28);
    auto* mnLayout = new QHBoxLayout(fraMediaNum_);
    mnLayout->addWidget(txtMediaNum_);
    mnLayout->addWidget(cmdUp);
    mnLayout->addWidget(cmdDown);
    mnLayout->addWidget(new QLabel(QStringLiteral("枚"), fraMediaNum_));
    mnLayout->addStretch();

    // Processes: the cadastral frame with its presets, and the preliminary frame.
    fraProcess_ = new QGroupBox(QStringLiteral("工程"), this);
    fraProcess_->setObjectName("fraProcess");
    auto* pGrid = new QGridLayout(fraProcess_);
    for (size_t i = 0; i < kCadastralBoxes.size(); ++i) {
        const auto& b = kCadastralBoxes[i];
        auto* box = new QCheckBox(QString::fromUtf8(b.caption), fraProcess_);
        box->setObjectName(b.name);
        cadastral_[b.flag] = box;
        // C..G and FR, H down the left; the aerial processes down the right.
        const bool right = b.flag >= 6 && b.flag <= 11;
        const int row = right ? b.flag - 6 : (b.flag < 6 ? b.flag : b.flag - 6);
        pGrid->addWidget(box, row, right ? 1 : 0);
    }
    auto* presets = new QHBoxLayout;
    auto* cmdMix = button(fraProcess_, "cmdMix", QStringLiteral("併用法"));
    auto* cmdSetAir = button(fraProcess_, "cmdSetAir", QStringLiteral("航測法"));
    auto* cmdSetLand = button(fraProcess_, "cmdSetLand", QStringLiteral("地上法"));
    presets->addStretch();
    presets->addWidget(cmdMix);
    presets->addWidget(cmdSetAir);
    presets->addWidget(cmdSetLand);
    pGrid->addLayout(presets, 8, 0, 1, 2);

    fraProcessS_ = new QGroupBox(QStringLiteral("工程"), this);
    fraProcessS_->setObjectName("fraProcessS");
    auto* sLayout = new QVBoxLayout(fraProcessS_);
    for (const auto& b : kPreliminaryBoxes) {
        auto* box = new QCheckBox(QString::fromUtf8(b.caption), fraProcessS_);
        box->setObjectName(b.name);
        preliminary_[b.flag] = box;
        sLayout->addWidget(box);
    }
    sLayout->addStretch();
    fraProcess_->setVisible(false);
    fraProcessS_->setVisible(false);

    // Update-date period.
    fraCheckDate_ = new QGroupBox(this);
    fraCheckDate_->setObjectName("fraCheckDate");
    chkCheckDate_ = new QCheckBox(QStringLiteral("ファイルの更新日時をチェックする"), fraCheckDate_);
    chkCheckDate_->setObjectName("chkCheckDate");
    static const char* kDateNames[6] = {"txtYearS", "txtMonthS", "txtDayS", "txtYearE", "txtMonthE", "txtDayE"};
    static const char* kDateUnits[6] = {"年", "月", "日以降", "年", "月", "日以前"};
    auto* dLayout = new QGridLayout(fraCheckDate_);
    dLayout->addWidget(chkCheckDate_, 0, 0, 1, 3);
    dLayout->addWidget(new QLabel(QStringLiteral("チェック期間"), fraCheckDate_), 1, 0);
    for (int k = 0; k < 6; ++k) {
        dates_[k] = dateBox(fraCheckDate_, kDateNames[k], k % 3 == 0 ? 4 : 2);
        auto* row = new QHBoxLayout;
        row->setSpacing(2);
        row->addWidget(dates_[k]);
        row->addWidget(new QLabel(QString::fromUtf8(kDateUnits[k]), fraCheckDate_));
        dLayout->addLayout(row, 1 + k / 3, 1 + k % 3);
    }
    dLayout->setColumnStretch(4, 1);

    // Progress panel.
    fraInfo_ = new QWidget(this);
    fraInfo_->setObjectName("fraInfo");
    lblInfo_ = new QLabel(fraInfo_);
    lblInfo_->setObjectName("lblInfo");
    lblCount_ = new QLabel(fraInfo_);
    lblCount_->setObjectName("lblCount");
    auto* cmdStop = button(fraInfo_, "cmdStop", QStringLiteral("中断"));
    auto* iLayout = new QHBoxLayout(fraInfo_);
    iLayout->setContentsMargins(0, 0, 0, 0);
    iLayout->addWidget(lblInfo_);
    iLayout->addWidget(lblCount_);
    iLayout->addStretch();
    iLayout->addWidget(cmdStop);
    fraInfo_->setVisible(false);

    cmdStart_ = button(this, "cmdStart", QStringLiteral("開始"));
    cmdClose_ = button(this, "cmdClose", QStringLiteral("閉じる"));
    auto* cmdHelp = button(this, "cmdHelp", QStringLiteral("ヘルプ"));
    cmdStart_->setDefault(true);

    auto* head = new QHBoxLayout;
    head->addWidget(fraResultType_, 1);
    head->addWidget(fraMediaNum_);
    auto* frames = new QHBoxLayout;
    frames->addWidget(fraProcess_);
    frames->addWidget(fraProcessS_);
    auto* commands = new QHBoxLayout;
    commands->addStretch();
    commands->addWidget(cmdStart_);
    commands->addWidget(cmdClose_);
    commands->addWidget(cmdHelp);
    auto* top = new QVBoxLayout(this);
    top->addLayout(head);
    top->addWidget(lblNotice_);
    top->addLayout(frames);
    top->addWidget(fraCheckDate_);
    top->addWidget(fraInfo_);
    top->addLayout(commands);

    // Load: the remembered period (texts first, then the option, so that the texts do
    // not decide it).
    const DatePanel remembered = rememberedDates(app_);
    for (int k = 0; k < 6; ++k) dates_[k]->setText(QString::fromStdString(remembered.dates[k]));
    chkCheckDate_->setChecked(remembered.checkDate);
    for (auto* e : dates_) connect(e, &QLineEdit::textChanged, this, [this] { chkCheckDate_->setChecked(true); });

    connect(cmbResultType_, &QComboBox::currentIndexChanged, this, &CheckRunDialog::onResultType);
    connect(cmdUp, &QPushButton::clicked, this, [this] {
        txtMediaNum_->setText(QString::fromStdString(mediaCountUp(txtMediaNum_->text().toStdString())));
    });
    connect(cmdDown, &QPushButton::clicked, this, [this] {
        txtMediaNum_->setText(QString::fromStdString(mediaCountDown(txtMediaNum_->text().toStdString())));
    });
    auto preset = [this](ProcessPreset p) {
        ProcessFlags b = boxes();
        applyPreset(p, b);
        setBoxes(b);
    };
    connect(cmdSetLand, &QPushButton::clicked, this, [preset] { preset(ProcessPreset::Land); });
    connect(cmdSetAir, &QPushButton::clicked, this, [preset] { preset(ProcessPreset::Air); });
    connect(cmdMix, &QPushButton::clicked, this, [preset] { preset(ProcessPreset::Mix); });
    connect(cmdStart_, &QPushButton::clicked, this, &CheckRunDialog::onStart);
    connect(cmdStop, &QPushButton::clicked, this, [this] { app_.stop.store(true); });
    connect(cmdClose_, &QPushButton::clicked, this, &CheckRunDialog::reject);
    connect(cmdHelp, &QPushButton::clicked, this, [this] { showHelp(this, kHelpContext); });
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, [this] { showHelp(this, kHelpContext); });
}

CheckRunDialog::~CheckRunDialog() = default;

void CheckRunDialog::SetJudgeResult(int16_t resultType, int16_t mediaCount, const ProcessFlags& flags,
                                    const std::string& location, uint32_t volumeSerial) {
    const RunPreset p = presetFromJudgement(resultType, mediaCount, flags);
    if (p.itemIndex < 0) return;
    cmbResultType_->setCurrentIndex(p.itemIndex);
    setBoxes(p.boxes);
    txtMediaNum_->setText(QString::fromStdString(p.mediaText));
    handedPath_ = location;
    handedSerial_ = volumeSerial;
}

void CheckRunDialog::onResultType() {
    if (cmbResultType_->currentIndex() < 0) return;
    const auto data = static_cast<int16_t>(cmbResultType_->currentData().toInt());
    fraProcess_->setVisible(data == 1);
    fraProcessS_->setVisible(data == 2);
    lblNotice_->setText(QString::fromStdString(resultTypeNotice(data)));
}

void CheckRunDialog::setBoxes(const ProcessFlags& b) {
    for (int f = 0; f < ProcessFlags::kCount; ++f) {
        if (cadastral_[f] && fraProcess_->isVisibleTo(this)) cadastral_[f]->setChecked(b.flag[f] != 0);
        if (preliminary_[f] && fraProcessS_->isVisibleTo(this)) preliminary_[f]->setChecked(b.flag[f] != 0);
    }
}

ProcessFlags CheckRunDialog::boxes() const {
    ProcessFlags b;
    const bool prelim = fraProcessS_->isVisibleTo(this);
    for (int f = 0; f < ProcessFlags::kCount; ++f) {
        QCheckBox* box = prelim ? preliminary_[f] : cadastral_[f];
        if (box) b.flag[f] = box->isChecked() ? 1 : 0;
    }
    return b;
}

void CheckRunDialog::EnableControls(bool flag) {
    for (QWidget* w : std::initializer_list<QWidget*>{fraResultType_, fraMediaNum_, fraProcess_, fraProcessS_,
                                                      fraCheckDate_, chkCheckDate_, cmdStart_, cmdClose_})
        w->setEnabled(flag);
}

void CheckRunDialog::onStart() {
    if (running_ || finished_) return;
    RunForm form;
    form.resultTypeData =
        cmbResultType_->currentIndex() < 0 ? int16_t(-1) : static_cast<int16_t>(cmbResultType_->currentData().toInt());
    form.mediaText = txtMediaNum_->text().toStdString();
    form.boxes = boxes();
    form.checkDate = chkCheckDate_->isChecked();
    for (int k = 0; k < 6; ++k) form.dates[k] = dates_[k]->text().toStdString();

    CheckRunInput input;
    if (auto refusal = validateStart(form, input)) {
        messages().show(*refusal);
        return;
    }
    input.handedPath = handedPath_;
    input.handedSerial = handedSerial_;

    // The log folder is ours from the run until the result view has closed: a headless
    // check on the same folder would clear and rewrite the logs under the view.
    LogFolderLock lock;
    if (!lock.acquire(app_.logPath)) {
        std::string text = lock.problem();
        if (lock.takenByAnother()) text += "\n他のチェックが終わってから、もう一度開始してください。";
        showMessage("ログフォルダ", text, MsgIcon::Exclamation);
        return;
    }

    DeliverablesList docList;
    docList.setDocInfo(input.resultType,
                       app_.settingPath + (input.resultType == 2 ? "DocList_S.txt" : "DocList_C.txt"), input.flags);

    app_.stop.store(false);
    setCursor(Qt::WaitCursor);
    EnableControls(false);
    running_ = true;

    std::vector<MediumRecord> media;
    Observer observer(*this, docList);
    std::unique_ptr<DialogLocator> ownLocator;
    MediumLocator* locator = locator_;
    if (!locator) {
        ownLocator = std::make_unique<DialogLocator>(this);
        locator = ownLocator.get();
    }
    const int16_t result = runCheckAll(app_, input, *locator, media, &observer);
    ownLocator.reset();

    running_ = false;
    finished_ = true;
    fraInfo_->setVisible(false);
    EnableControls(true);
    unsetCursor();
    emit runFinished(result);

    if (result < 0 && result != kRunCancelledFirst) {
        showMessage("Quillmark", "中断しました。", MsgIcon::Exclamation);
    } else if (result >= 0) {
        showCheckResult(this, app_, input.resultType, media, &docList);
    }
    // One window serves one run.
    done(QDialog::Accepted);
}

void CheckRunDialog::keyPressEvent(QKeyEvent* event) {
    // Escape closes the window while it is being edited; a run is stopped only by 中断
    // or by the title bar.
    if (running_ && event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CheckRunDialog::done(int r) {
    if (running_) {
        // Closing during a run asks it to stop; the window closes when the run has answered.
        app_.stop.store(true);
        return;
    }
    DatePanel panel;
    panel.checkDate = chkCheckDate_->isChecked();
    for (int k = 0; k < 6; ++k) panel.dates[k] = dates_[k]->text().toStdString();
    rememberDates(app_, panel);
    handedPath_.clear();
    handedSerial_ = 0;
    QDialog::done(r);
}

}  // namespace qm::desktop
