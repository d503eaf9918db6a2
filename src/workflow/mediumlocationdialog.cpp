#include "workflow/mediumlocationdialog.h"

#include "checks/checkpath.h"
#include "foundation/messages.h"
#include "foundation/text.h"
#include "workflow/browsefolder.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qm::desktop {

namespace {

MediumLocationDialog::VolumeSource& volumeSource() {
    static MediumLocationDialog::VolumeSource s;
    return s;
}

std::string withoutTrailingSeparators(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

}  // namespace

void MediumLocationDialog::setVolumeSource(VolumeSource source) { volumeSource() = std::move(source); }

int findVolumeEntry(const std::vector<PickableVolume>& volumes, const std::string& path) {
    const std::string p = withoutTrailingSeparators(path);
    for (size_t i = 0; i < volumes.size(); ++i)
        if (withoutTrailingSeparators(volumes[i].mountPoint) == p) return static_cast<int>(i);
    return -1;
}

MediumLocationDialog::MediumLocationDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("frmSelectFolder");
    setWindowTitle(QStringLiteral("成果ファイル場所指定"));

    lblInfo_ = new QLabel(this);
    lblInfo_->setObjectName("lblInfo");
    lblInfo2_ = new QLabel(QStringLiteral("(成果の INDEX_D.XML が格納されている場所を指定してください)"), this);
    lblInfo2_->setToolTip(QStringLiteral("フォルダのほか、ディスクイメージ(.iso)も指定できます"));
    lblInfo2_->setObjectName("lblInfo2");

    optDrive_ = new QRadioButton(QStringLiteral("ドライブを指定する"), this);
    optDrive_->setObjectName("optDrive");
    drvCheck_ = new QComboBox(this);
    drvCheck_->setObjectName("drvCheck");
    drvCheck_->setMinimumWidth(260);
    auto* driveNote = new QLabel(QStringLiteral("(CD/DVD/BD を直接チェックする)"), this);

    optFolder_ = new QRadioButton(QStringLiteral("フォルダを指定する"), this);
    optFolder_->setObjectName("optFolder");
    txtCheckFolder_ = new QLineEdit(this);
    txtCheckFolder_->setObjectName("txtCheckFolder");
    txtCheckFolder_->setMinimumWidth(320);
    cmdSelCheckFolder_ = new QPushButton(QStringLiteral("参照..."), this);
    cmdSelCheckFolder_->setObjectName("cmdSelCheckFolder");

    lblInfo3_ = new QLabel(QStringLiteral("メディアをチェックしています・・・"), this);
    lblInfo3_->setObjectName("lblInfo3");
    lblInfo3_->setVisible(false);

    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
    auto* cmdCancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cmdCancel->setObjectName("cmdCancel");

    auto* grid = new QGridLayout;
    grid->addWidget(optDrive_, 0, 0, 1, 3);
    grid->addWidget(drvCheck_, 1, 1);
    grid->addWidget(driveNote, 1, 2);
    grid->addWidget(optFolder_, 2, 0, 1, 3);
    grid->addWidget(txtCheckFolder_, 3, 1);
    grid->addWidget(cmdSelCheckFolder_, 3, 2, Qt::AlignLeft);
    grid->setColumnMinimumWidth(0, 20);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblInfo3_);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* top = new QVBoxLayout(this);
    top->addWidget(lblInfo_);
    top->addWidget(lblInfo2_);
    top->addSpacing(6);
    top->addLayout(grid);
    top->addSpacing(6);
    top->addLayout(buttons);

    // The drive list: the mounted volumes a user would pick, by mount point and label.
    const std::vector<PickableVolume> volumes = volumeSource() ? volumeSource()() : listPickableVolumes();
    for (const auto& v : volumes) {
#ifdef Q_OS_WIN
        // Every drive letter with its kind, as Explorer names them: "E: [ラベル] CD/DVD".
        QString text = QString::fromStdString(v.mountPoint).left(2);
        if (!v.label.empty()) text += QStringLiteral(" [%1]").arg(QString::fromStdString(v.label));
        switch (v.driveType) {
            case kDriveRemovable: text += QStringLiteral("  リムーバブル ディスク"); break;
            case kDriveFixed: text += QStringLiteral("  ローカル ディスク"); break;
            case kDriveRemote: text += QStringLiteral("  ネットワーク ドライブ"); break;
            case kDriveCdRom: text += QStringLiteral("  CD/DVD ドライブ"); break;
            case kDriveRamDisk: text += QStringLiteral("  RAM ディスク"); break;
            default: break;
        }
#else
        QString text = QString::fromStdString(v.mountPoint);
        if (!v.label.empty()) text += QStringLiteral("  [%1]").arg(QString::fromStdString(v.label));
#endif
        drvCheck_->addItem(text, QString::fromStdString(v.mountPoint));
    }
    optDrive_->setChecked(true);

    connect(drvCheck_, &QComboBox::activated, this, [this] { optDrive_->setChecked(true); });
    connect(optFolder_, &QRadioButton::toggled, this, &MediumLocationDialog::onFolderOption);
    connect(cmdSelCheckFolder_, &QPushButton::clicked, this, &MediumLocationDialog::onSelectFolder);
    connect(cmdOK, &QPushButton::clicked, this, &MediumLocationDialog::onOk);
    connect(cmdCancel, &QPushButton::clicked, this, &MediumLocationDialog::reject);
}

void MediumLocationDialog::SetMediaNum(int n) {
    lblInfo_->setText(QStringLiteral("成果%1枚目の場所を指定してください。").arg(n));
}

void MediumLocationDialog::setRequest(const QString& text) { lblInfo_->setText(text); }

void MediumLocationDialog::setFolderText(const std::string& path) {
    txtCheckFolder_->setText(QString::fromStdString(path));
}

void MediumLocationDialog::SetDefaultPath(const std::string& path) {
    bool selected = false;
    // A mount point of the drive list selects its entry.
    for (int i = 0; i < drvCheck_->count(); ++i) {
        const std::string mp = drvCheck_->itemData(i).toString().toStdString();
        if (findVolumeEntry({PickableVolume{mp, {}, 0}}, path) == 0) {
            drvCheck_->setCurrentIndex(i);
            optDrive_->setChecked(true);
            selected = true;
            break;
        }
    }
    if (!selected) {
        suppress_ = true;
        optFolder_->setChecked(true);
        txtCheckFolder_->setText(QString::fromStdString(path));
        suppress_ = false;
    }
    startFolder_ = path;
}

void MediumLocationDialog::SetBasePath(const std::string& path) { startFolder_ = path; }

int MediumLocationDialog::exec() {
    ok_ = false;
    checkFolder_.clear();
    return QDialog::exec();
}

void MediumLocationDialog::onFolderOption(bool checked) {
    if (checked && !suppress_) onSelectFolder();
}

void MediumLocationDialog::onSelectFolder() {
    const QString title = QStringLiteral("電子納品による成果の最上位フォルダを選択してください\n（INDEX_D.XMLが格納されている場所）");
    const std::string chosen = BrowseMedium(this, title, startFolder_);  // a folder or a disc image
    if (chosen.empty()) return;
    txtCheckFolder_->setText(QString::fromStdString(chosen));
    startFolder_ = chosen;
    suppress_ = true;
    optFolder_->setChecked(true);
    suppress_ = false;
}

void MediumLocationDialog::onOk() {
    std::string location;
    if (optDrive_->isChecked()) {
        if (drvCheck_->currentIndex() < 0) {
            showMessage(kLocationCaption, "ドライブを選択してください。");
            return;
        }
        location = withTrailingSeparator(drvCheck_->currentData().toString().toStdString());
    } else {
        location = trimBlanks(txtCheckFolder_->text().toStdString());
        if (location.empty()) {
            showMessage(kLocationCaption, "成果ファイルの場所を指定してください。");
            return;
        }
    }
    // A slow disc is examined under the hourglass; its boxes take the normal cursor.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    lblInfo3_->setVisible(true);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const bool accepted = CheckPath(location);
    QApplication::restoreOverrideCursor();
    lblInfo3_->setVisible(false);
    if (!accepted) return;
    checkFolder_ = location;
    ok_ = true;
    QDialog::accept();
}

void MediumLocationDialog::reject() {
    checkFolder_.clear();
    ok_ = false;
    QDialog::reject();
}

}  // namespace qm::desktop
