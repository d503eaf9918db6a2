#include "views/checkresultview.h"

#include "checks/inspection.h"
#include "models/resultprint.h"
#include "foundation/appstate.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"
#include "printing/layout/fonts.h"
#include "views/gridmodel.h"
#include "views/launch.h"
#include "checks/imagefacts.h"
#include "workflow/mediumlocationdialog.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

namespace qm::desktop {

namespace {

constexpr int px(int twips) { return twips / 15; }

QString q(const std::string& s) { return QString::fromStdString(s); }
QColor colour(Rgb c) { return QColor(c.r, c.g, c.b); }

QTableView* makeGrid(QWidget* parent, const char* name, GridModel* model) {
    auto* g = new QTableView(parent);
    g->setObjectName(QLatin1String(name));
    g->setModel(model);
    g->setFont(gothicFont(9));
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->verticalHeader()->hide();
    g->verticalHeader()->setDefaultSectionSize(QFontMetrics(g->font()).height() + 6);
    g->horizontalHeader()->setHighlightSections(false);
    g->setWordWrap(false);
    return g;
}

QLabel* caption(QWidget* parent, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setFont(QFont(kPGothic, 9));
    return l;
}

// Asks through the medium location dialog; one dialog serves the repeated questions about
// one medium, so what the user chose stays in it between them. It opens on the folder that
// held the medium during the run, which is also in its folder box.
class DialogAsker : public LocationAsker {
public:
    explicit DialogAsker(QWidget* parent) : parent_(parent) {}
    std::optional<std::string> askLocation(int medium, const std::string& defaultPath) override {
        if (!dialog_ || medium != medium_) {
            medium_ = medium;
            dialog_ = std::make_unique<MediumLocationDialog>(parent_);
            dialog_->SetMediaNum(medium);
            if (!defaultPath.empty()) dialog_->SetDefaultPath(defaultPath);
            dialog_->setFolderText(defaultPath);
        }
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        dialog_->exec();
        QApplication::restoreOverrideCursor();
        if (!dialog_->IsOK()) return std::nullopt;
        return dialog_->GetCheckFolder();
    }
    void endQuestions() override { dialog_.reset(); }

private:
    QWidget* parent_;
    int medium_ = 0;
    std::unique_ptr<MediumLocationDialog> dialog_;
};

}  // namespace

std::unique_ptr<LocationAsker> makeLocationAsker(QWidget* parent) { return std::make_unique<DialogAsker>(parent); }

CheckResultView::CheckResultView(AppState& app, DeliverablesList* docList, QWidget* parent)
    : QDialog(parent), app_(app), docList_(docList), asker_(makeLocationAsker(this)) {
    setObjectName(QStringLiteral("frmErrorLog"));
    setWindowTitle(QStringLiteral("チェック結果"));
    setProperty("helpContext", kHelpContext);
    setFont(QFont(kPGothic, 9));

    mediaModel_ = new GridModel({QStringLiteral("チェック箇所"), QStringLiteral("結果"), QStringLiteral("メディア番号")}, this);
    mediaModel_->setAlignment(1, Qt::AlignHCenter);
    mediaModel_->setAlignment(2, Qt::AlignRight);
    typeModel_ = new GridModel({QString(), QStringLiteral("チェック内容"), QStringLiteral("結果")}, this);
    typeModel_->setAlignment(2, Qt::AlignHCenter);
    logModel_ = new GridModel({QStringLiteral("エラー箇所"), QStringLiteral("内容")}, this);

    lblResultType_ = new QLabel(QStringLiteral("地籍調査成果"), this);
    lblResultType_->setObjectName(QStringLiteral("lblResultType"));
    lblResult_ = new QLabel(this);
    lblResult_->setObjectName(QStringLiteral("lblResult"));
    for (QLabel* l : {lblResultType_, lblResult_}) {
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        l->setMinimumWidth(px(3600));
    }

    vsfgMedia_ = makeGrid(this, "vsfgMedia", mediaModel_);
    vsfgMedia_->setColumnWidth(0, px(1500));
    vsfgMedia_->setColumnWidth(1, px(960));
    vsfgMedia_->setColumnWidth(2, px(960));
    vsfgMedia_->setColumnHidden(2, true);
    vsfgMedia_->horizontalHeader()->setStretchLastSection(true);  // "結果" takes what the scroll bar leaves
    vsfgMedia_->setFixedWidth(px(1500 + 960) + 2 * vsfgMedia_->frameWidth() + 20);

    vsfgCheckType_ = makeGrid(this, "vsfgCheckType", typeModel_);
    vsfgCheckType_->setColumnWidth(0, px(1080));
    vsfgCheckType_->setColumnWidth(1, px(4890));
    vsfgCheckType_->setColumnWidth(2, px(600));
    vsfgCheckType_->setColumnHidden(0, true);
    vsfgCheckType_->horizontalHeader()->setStretchLastSection(false);
    vsfgCheckType_->setMinimumWidth(px(4890 + 600) + 2 * vsfgCheckType_->frameWidth() + 4);
    vsfgCheckType_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    vsfgCheckType_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    {
        const int rowH = vsfgCheckType_->verticalHeader()->defaultSectionSize();
        const int h = vsfgCheckType_->horizontalHeader()->sizeHint().height() + 4 * rowH + 2 * vsfgCheckType_->frameWidth();
        vsfgCheckType_->setFixedHeight(h);
        vsfgMedia_->setFixedHeight(h);
    }

    vsfgLog_ = makeGrid(this, "vsfgLog", logModel_);
    vsfgLog_->setColumnWidth(0, px(5100));
    vsfgLog_->setColumnWidth(1, px(900));
    vsfgLog_->setMinimumHeight(px(1800));

    fraInfo_ = new QFrame(this);
    fraInfo_->setObjectName(QStringLiteral("fraInfo"));
    fraInfo_->setFrameShape(QFrame::StyledPanel);
    auto* icon = new QLabel(fraInfo_);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(24, 24));
    lblInfo_ = new QLabel(fraInfo_);
    lblInfo_->setObjectName(QStringLiteral("lblInfo"));
    cmdStop_ = new QPushButton(QStringLiteral("中断"), fraInfo_);
    cmdStop_->setObjectName(QStringLiteral("cmdStop"));
    auto* infoRow = new QHBoxLayout(fraInfo_);
    infoRow->addWidget(icon);
    infoRow->addWidget(lblInfo_, 1);
    infoRow->addWidget(cmdStop_);
    fraInfo_->hide();

    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        b->setMinimumWidth(px(1440));
        return b;
    };
    cmdViewFolder_ = button("cmdViewFolder", QStringLiteral("成果参照..."));
    cmdViewXml_ = button("cmdViewXml", QStringLiteral("管理ファイル参照..."));
    cmdDocList_ = button("cmdDocList", QStringLiteral("成果一覧..."));
    cmdPrint_ = button("cmdPrint", QStringLiteral("印刷..."));
    cmdHelp_ = button("cmdHelp", QStringLiteral("ヘルプ"));
    cmdClose_ = button("cmdClose", QStringLiteral("閉じる"));
    cmdDocList_->setEnabled(docList_ != nullptr);

    // Layout: the verdict at the top, the media and the check types side by side with
    // the view commands under them, the findings, then the progress panel and the commands.
    auto* top = new QGridLayout;
    top->addWidget(caption(this, QStringLiteral("成果種類")), 0, 0);
    top->addWidget(lblResultType_, 0, 1);
    top->addWidget(caption(this, QStringLiteral("チェック結果")), 1, 0);
    top->addWidget(lblResult_, 1, 1);
    top->setColumnStretch(2, 1);

    auto* grids = new QGridLayout;
    grids->addWidget(caption(this, QStringLiteral("チェック箇所")), 0, 0);
    grids->addWidget(vsfgMedia_, 1, 0);
    grids->addWidget(caption(this, QStringLiteral("チェック内容")), 0, 1);
    grids->addWidget(vsfgCheckType_, 1, 1);
    grids->setColumnStretch(2, 1);
    lblImage_ = new QLabel(this);
    lblImage_->setObjectName("lblImage");
    lblImage_->setWordWrap(true);
    lblImage_->setVisible(false);
    auto* viewButtons = new QHBoxLayout;
    viewButtons->addWidget(cmdViewFolder_);
    viewButtons->addWidget(cmdViewXml_);
    viewButtons->addWidget(cmdDocList_);
    viewButtons->addStretch(1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdHelp_);
    bottom->addSpacing(px(5520 - 3240 - 1440));
    bottom->addWidget(cmdPrint_);
    bottom->addSpacing(px(3240 - 1560 - 1440));
    bottom->addWidget(cmdClose_);

    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(grids);
    all->addWidget(lblImage_);
    all->addLayout(viewButtons);
    all->addWidget(caption(this, QStringLiteral("検出エラー内容")));
    all->addWidget(vsfgLog_, 1);
    all->addWidget(fraInfo_);
    all->addLayout(bottom);
    resize(px(9600), px(8400));

    // Load: the check types, no current one; the verdict.
    QVector<GridModel::Row> types;
    for (const auto& t : kCheckTypes) types.append({{QLatin1String(t.key), q(t.label), QString()}, {}, 0});
    typeModel_->setRows(types);
    const Verdict v = runVerdict(anyRunLog(app_.logPath), !logFailures().empty());
    lblResult_->setText(q(v.text));
    lblResult_->setStyleSheet(QStringLiteral("color: %1;").arg(colour(v.colour).name()));

    connect(vsfgMedia_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& cur) { mediumRowChanged(cur.row()); });
    connect(vsfgCheckType_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& cur) { typeRowChanged(cur.row()); });
    connect(vsfgLog_, &QTableView::doubleClicked, this, [this](const QModelIndex& i) { openFindingHelp(i.row()); });
    connect(cmdViewFolder_, &QPushButton::clicked, this, &CheckResultView::cmdViewFolderClicked);
    connect(cmdViewXml_, &QPushButton::clicked, this, &CheckResultView::cmdViewXmlClicked);
    connect(cmdDocList_, &QPushButton::clicked, this, &CheckResultView::cmdDocListClicked);
    connect(cmdPrint_, &QPushButton::clicked, this, &CheckResultView::cmdPrintClicked);
    connect(cmdHelp_, &QPushButton::clicked, this, [this] { showHelp(this, kHelpContext); });
    connect(cmdClose_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdStop_, &QPushButton::clicked, this, [this] { app_.stop = true; });
}

CheckResultView::~CheckResultView() = default;

void CheckResultView::setLocationAsker(std::unique_ptr<LocationAsker> asker) { asker_ = std::move(asker); }

void CheckResultView::SetMediaNum(int16_t resultType, const std::vector<MediumRecord>& media) {
    resultType_ = resultType;
    mediaNum_ = static_cast<int>(media.size());
    if (mediaNum_ <= 0) return;
    lblResultType_->setText(q(GetResultTypeName(resultType)));
    media_ = media;

    QVector<GridModel::Row> rows;
    // A check whose setting table is missing could not judge anything: no verdict.
    missingTables_ = missingSettingTables(app_.settingPath, resultType);
    const Verdict v = runVerdict(anyRunLog(app_.logPath), !logFailures().empty() || !missingTables_.empty());
    lblResult_->setText(q(v.text));
    lblResult_->setStyleSheet(QStringLiteral("color: %1;").arg(colour(v.colour).name()));
    for (const MediaRow& r : mediaRows(app_.logPath, mediaNum_, missingTables_))
        rows.append({{q(r.label), q(r.mark), QString::number(r.number)}, {}, r.number});
    mediaModel_->setRows(rows);
    vsfgMedia_->setCurrentIndex(mediaModel_->index(0, 0));
}

void CheckResultView::mediumRowChanged(int row) {
    if (row < 0 || row >= mediaModel_->rowCount()) return;
    selectedMedium_ = static_cast<int>(mediaModel_->row(row).number);
    cmdViewFolder_->setEnabled(selectedMedium_ > 0);
    showImageFacts();
    ReadLogFile(selectedMedium_);
    lastTypeRow_ = -1;
    if (currentTypeRow() != 0) vsfgCheckType_->setCurrentIndex(typeModel_->index(0, 1));
    typeRowChanged(0);
}

// A line under the medium list for a medium given as a disc image: its file systems,
// label, size and the smallest medium that holds it, remarks in the found colour; every
// fact in the tooltip.
void CheckResultView::showImageFacts() {
    const std::string path = selectedMedium_ > 0 && selectedMedium_ <= static_cast<int>(media_.size())
                                 ? media_[static_cast<size_t>(selectedMedium_ - 1)].path
                                 : std::string();
    const std::optional<ImageFacts> facts = path.empty() ? std::nullopt : imageFactsOf(path, selectedMedium_);
    lblImage_->setVisible(facts.has_value());
    if (!facts) return;
    const DiscFacts& f = facts->facts;
    QString text = QStringLiteral("ディスクイメージ: %1（%2）  ラベル %3  %4")
                       .arg(q(f.fileSystems()), q(f.tree), q(f.label.empty() ? "(なし)" : f.label), q(imageSizeText(f.imageSize)));
    text += f.smallestMedium ? QStringLiteral(" → %1").arg(q(mediumText(*f.smallestMedium))) : QStringLiteral(" → 1枚に収まりません");
    for (const std::string& r : facts->remarks) text += QStringLiteral("\n※") + q(r);
    lblImage_->setText(text);
    lblImage_->setStyleSheet(facts->remarks.empty() ? QString() : QStringLiteral("color: %1;").arg(colour(kFoundColour).name()));
    QString tip;
    for (const ImageFactRow& row : imageFactRows(*facts))
        tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + q(row.label.empty() ? "" : row.label + ": ") + q(row.text);
    lblImage_->setToolTip(tip);
}

void CheckResultView::ReadLogFile(int medium) {
    for (int r = 1; r < typeModel_->rowCount(); ++r) vsfgCheckType_->setRowHidden(r, medium == 0);
    current_ = readMediumResult(app_.logPath, medium);
    markMissingTables(current_, missingTables_);
    if (medium > 0) {
        // A management file in a folder the walk could not read was not checked: never ○.
        RunSummary one;
        one.media.push_back(std::move(current_));
        std::vector<std::string> paths;
        for (const MediumRecord& r : media_) paths.push_back(r.path);
        markUnreadManagementFiles(one, paths);
        current_ = std::move(one.media.front());
    }
    for (size_t k = 0; k < current_.types.size(); ++k)
        typeModel_->setCell(static_cast<int>(k), 2, current_.types[k].ok() ? QStringLiteral("○") : QStringLiteral("×"));
}

void CheckResultView::typeRowChanged(int row) {
    if (row < 0 || row == lastTypeRow_) return;
    ShowErrorList(static_cast<size_t>(row));
    lastTypeRow_ = row;
}

void CheckResultView::ShowErrorList(size_t typeIndex) {
    vsfgLog_->setUpdatesEnabled(false);
    QVector<GridModel::Row> rows;
    const std::vector<FindingRow> found = findingRows(current_, typeIndex);
    rows.reserve(static_cast<qsizetype>(found.size()));
    for (const FindingRow& f : found) {
        GridModel::Row r{{q(f.place), q(f.content)}, {}, f.code};
        if (f.clean) r.fore = {QColor(), colour(kCleanColour)};
        if (f.failed) r.fore = {QColor(), colour(kFoundColour)};
        rows.append(std::move(r));
    }
    logModel_->setRows(rows);
    fitLogColumns();
    vsfgLog_->setUpdatesEnabled(true);
    hasFindings_ = typeIndex < current_.types.size() && !current_.types[typeIndex].findings.empty();
    cmdViewXml_->setEnabled(typeIndex != 0);
}

void CheckResultView::fitLogColumns() {
    // Every column as wide as its contents; when they leave room, the last one takes it.
    vsfgLog_->resizeColumnsToContents();
    const int last = logModel_->columnCount() - 1;
    int used = 0;
    for (int c = 0; c < last; ++c) used += vsfgLog_->columnWidth(c);
    const int room = vsfgLog_->viewport()->width() - used;
    if (room > vsfgLog_->columnWidth(last)) vsfgLog_->setColumnWidth(last, room);
}

int CheckResultView::currentTypeRow() const {
    const QModelIndex i = vsfgCheckType_->currentIndex();
    return i.isValid() ? i.row() : -1;
}

int32_t CheckResultView::findingCode(int row) const {
    if (row < 0 || row >= logModel_->rowCount()) return 0;
    return static_cast<int32_t>(logModel_->row(row).number);
}

void CheckResultView::openFindingHelp(int row) {
    const int32_t code = findingCode(row);
    if (code != 0) showFindingHelp(this, code);
}

void CheckResultView::showContextHelp() {
    if (vsfgLog_->hasFocus() && findingCode(vsfgLog_->currentIndex().row()) != 0) {
        openFindingHelp(vsfgLog_->currentIndex().row());
        return;
    }
    showHelp(this, kHelpContext);
}

void CheckResultView::EnableControls(bool flag) {
    for (QWidget* w : std::initializer_list<QWidget*>{vsfgMedia_, cmdViewFolder_, vsfgLog_, cmdViewXml_, cmdDocList_,
                                                      cmdPrint_, cmdClose_})
        w->setEnabled(flag);
    if (flag) {
        if (currentTypeRow() == 0) cmdViewXml_->setEnabled(false);
        if (!docList_) cmdDocList_->setEnabled(false);
        if (selectedMedium_ == 0) cmdViewFolder_->setEnabled(false);
    }
}

std::string CheckResultView::GetCheckPath(int medium) {
    if (medium < 1 || medium > static_cast<int>(media_.size()) || !asker_) return "";
    return qm::GetCheckPath(media_[static_cast<size_t>(medium - 1)], medium, *asker_);
}

void CheckResultView::showProgress(const QString& text, bool withStop) {
    lblInfo_->setText(text);
    cmdStop_->setVisible(withStop);
    fraInfo_->show();
    QApplication::processEvents();
}

void CheckResultView::hideProgress() {
    fraInfo_->hide();
    QApplication::restoreOverrideCursor();
}

void CheckResultView::cmdViewFolderClicked() {
    const int row = vsfgMedia_->currentIndex().row();
    if (row < 0 || row >= mediaNum_ || selectedMedium_ <= 0) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    EnableControls(false);
    showProgress(QStringLiteral("メディアをチェックしています・・・"), false);
    const std::string path = GetCheckPath(selectedMedium_);
    if (path.empty()) {
        EnableControls(true);
        hideProgress();
        return;
    }
    showProgress(QStringLiteral("フォルダ構成を取得しています・・・"), true);
    app_.stop = false;
    const std::string log = app_.logPath + folderLogName(selectedMedium_);
    // The stop command stays at hand while the tree is built; the window is itself again
    // before the view shows.
    showFolderView(this, app_, resultType_, path, log, [this] {
        EnableControls(true);
        hideProgress();
    });
}

void CheckResultView::cmdViewXmlClicked() {
    const int row = vsfgMedia_->currentIndex().row();
    if (row < 0 || row >= mediaNum_ || selectedMedium_ <= 0) return;
    const int typeRow = currentTypeRow();
    const auto target = managementFileTarget(typeRow < 0 ? 0 : static_cast<size_t>(typeRow), selectedMedium_);
    if (!target) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    showProgress(QStringLiteral("メディアをチェックしています・・・"), false);
    const std::string path = GetCheckPath(selectedMedium_);
    if (path.empty()) {
        hideProgress();
        return;
    }
    showProgress(QStringLiteral("ファイル構成を取得しています・・・"), true);
    app_.stop = false;
    showXmlView(this, app_, resultType_, target->which, managementFile(path, target->relPath),
                app_.logPath + target->logName, [this] { hideProgress(); });
}

void CheckResultView::cmdDocListClicked() {
    if (docList_) showDeliverablesList(this, app_, *docList_);
}

void CheckResultView::cmdPrintClicked() {
    const int typeRow = currentTypeRow();
    if (typeRow < 0) return;
    if (!hasFindings_) {
        showMessage("印刷", "指定したチェック内容では、エラーは検出されていません。", MsgIcon::Information);
        return;
    }
    const std::string stored =
        selectedMedium_ > 0 && selectedMedium_ <= static_cast<int>(media_.size()) ? media_[selectedMedium_ - 1].path : "";
    showPrintPreview(this, checkResultDocument(current_, static_cast<size_t>(typeRow), stored));
}

void CheckResultView::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    fitLogColumns();
}

void showCheckResult(QWidget* parent, AppState& app, int16_t resultType, const std::vector<MediumRecord>& media,
                     DeliverablesList* docList) {
    std::vector<std::string> tops;
    for (const auto& m : media) tops.push_back(m.path);
    rememberMedia(tops);
    CheckResultView view(app, docList, parent);
    view.SetMediaNum(resultType, media);
    view.exec();
}

}  // namespace qm::desktop
