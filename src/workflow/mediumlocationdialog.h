// Where one medium of a delivery is: a mounted volume, a folder or a disc image file. The location is
// judged by CheckPath before the dialog accepts it.
#pragma once

#include "foundation/platform.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qm::desktop {

class MediumLocationDialog : public QDialog {
    Q_OBJECT
public:
    // Where the drive list comes from; tests script it. Empty restores the mount list.
    using VolumeSource = std::function<std::vector<PickableVolume>()>;
    static void setVolumeSource(VolumeSource source);

    explicit MediumLocationDialog(QWidget* parent = nullptr);

    void SetMediaNum(int n);                        // "成果n枚目の場所を指定してください。"
    void SetDefaultPath(const std::string& path);   // preselects it; the browser starts there
    void SetBasePath(const std::string& path);      // the browser starts there
    void setRequest(const QString& text);           // the request line, set directly
    void setFolderText(const std::string& path);   // the folder box, leaving the options as they are
    bool IsOK() const { return ok_; }
    std::string GetCheckFolder() const { return checkFolder_; }

    int exec() override;

public slots:
    void reject() override;  // cancel, also by the title bar and Escape

private slots:
    void onOk();
    void onSelectFolder();
    void onFolderOption(bool checked);

private:
    QRadioButton* optDrive_;
    QRadioButton* optFolder_;
    QComboBox* drvCheck_;
    QLineEdit* txtCheckFolder_;
    QPushButton* cmdSelCheckFolder_;
    QLabel* lblInfo_;
    QLabel* lblInfo2_;
    QLabel* lblInfo3_;
    bool ok_ = false;
    bool suppress_ = false;
    std::string checkFolder_;
    std::string startFolder_;
};

// The mount point an entry of the drive list stands for, matched against a location:
// both without trailing separators. Answers the index of the entry, or -1.
int findVolumeEntry(const std::vector<PickableVolume>& volumes, const std::string& path);

}  // namespace qm::desktop
