// The check run window: the user confirms the result type, the number of media, the
// processes and the update-date period, and starts the run over all media. The run works
// on the user-interface thread and lets pending events through while it walks a medium,
// so 中断 and the title bar's close are answered at once.
#pragma once

#include "checks/checkrun.h"
#include "checks/inspection.h"

#include <QDialog>

#include <array>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {
struct AppState;
}

namespace qm::desktop {

class CheckRunDialog : public QDialog {
    Q_OBJECT
public:
    CheckRunDialog(AppState& app, QWidget* parent = nullptr);
    ~CheckRunDialog() override;

    // The judgements of the main window.
    void SetJudgeResult(int16_t resultType, int16_t mediaCount, const ProcessFlags& flags, const std::string& location,
                        uint32_t volumeSerial);

    // Where media after the first are asked for; by default the location dialog. Tests
    // hand in their own (not owned).
    void setMediumLocator(MediumLocator* locator) { locator_ = locator; }

    bool running() const { return running_; }

public slots:
    void done(int r) override;

signals:
    // The run has answered (before the result view opens).
    void runFinished(int result);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Observer;
    class DialogLocator;

    void onResultType();
    void onStart();
    void EnableControls(bool flag);
    void setBoxes(const ProcessFlags& boxes);
    ProcessFlags boxes() const;

    AppState& app_;
    MediumLocator* locator_ = nullptr;
    std::string handedPath_;
    uint32_t handedSerial_ = 0;
    bool running_ = false;
    bool finished_ = false;

    QGroupBox* fraResultType_;
    QComboBox* cmbResultType_;
    QLabel* lblNotice_;
    QGroupBox* fraMediaNum_;
    QLineEdit* txtMediaNum_;
    QGroupBox* fraProcess_;
    QGroupBox* fraProcessS_;
    std::array<QCheckBox*, 17> cadastral_{};   // by flag; null where the frame has none
    std::array<QCheckBox*, 17> preliminary_{};
    QGroupBox* fraCheckDate_;
    QCheckBox* chkCheckDate_;
    std::array<QLineEdit*, 6> dates_{};
    QWidget* fraInfo_;
    QLabel* lblInfo_;
    QLabel* lblCount_;
    QPushButton* cmdStart_;
    QPushButton* cmdClose_;
};

}  // namespace qm::desktop
