// The check result view: ○/× per medium and per check type, decided by the run's logs,
// and the findings of the chosen check; from here the folder, XML and deliverables views
// and the print preview are opened.
#pragma once

#include "checks/checkrun.h"
#include "checks/resultlog.h"
#include "models/resultview.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;
class QTableView;
class QFrame;

namespace qm {
struct AppState;
class DeliverablesList;
}  // namespace qm

namespace qm::desktop {

class GridModel;

// Asks for a medium's location with the desktop's folder picker until CheckPath accepts
// one; nullopt when the user cancels.
std::unique_ptr<LocationAsker> makeLocationAsker(QWidget* parent);

class CheckResultView : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 13300;

    CheckResultView(AppState& app, DeliverablesList* docList, QWidget* parent = nullptr);
    ~CheckResultView() override;

    // The run's result type and media (one record per medium, medium 1 first).
    void SetMediaNum(int16_t resultType, const std::vector<MediumRecord>& media);

    // Replaces how GetCheckPath asks the user (tests, or another location dialog).
    void setLocationAsker(std::unique_ptr<LocationAsker> asker);

    std::string GetCheckPath(int medium);
    void EnableControls(bool flag);

    int selectedMedium() const { return selectedMedium_; }
    bool hasFindings() const { return hasFindings_; }
    // The finding code of a row of the findings grid; 0 for the clean row.
    int32_t findingCode(int row) const;

    // F1: the page of the finding chosen in the findings grid, else this window's topic.
    Q_INVOKABLE void showContextHelp();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void mediumRowChanged(int row);
    void typeRowChanged(int row);
    void ReadLogFile(int medium);
    void showImageFacts();
    void ShowErrorList(size_t typeIndex);
    void fitLogColumns();
    int currentTypeRow() const;
    void showProgress(const QString& text, bool withStop);
    void hideProgress();
    void openFindingHelp(int row);

    void cmdViewFolderClicked();
    void cmdViewXmlClicked();
    void cmdDocListClicked();
    void cmdPrintClicked();

    AppState& app_;
    DeliverablesList* docList_;
    std::unique_ptr<LocationAsker> asker_;

    int16_t resultType_ = 0;
    int mediaNum_ = 0;
    int selectedMedium_ = 0;
    bool hasFindings_ = false;
    int lastTypeRow_ = -1;
    std::vector<MediumRecord> media_;
    MediumResult current_;
    std::vector<SettingTableProblem> missingTables_;

    GridModel* mediaModel_;
    GridModel* typeModel_;
    GridModel* logModel_;
    QLabel* lblResultType_;
    QLabel* lblResult_;
    QLabel* lblImage_;  // what only a disc image shows, for a medium given as one
    QTableView* vsfgMedia_;
    QTableView* vsfgCheckType_;
    QTableView* vsfgLog_;
    QFrame* fraInfo_;
    QLabel* lblInfo_;
    QPushButton* cmdStop_;
    QPushButton* cmdViewFolder_;
    QPushButton* cmdViewXml_;
    QPushButton* cmdDocList_;
    QPushButton* cmdPrint_;
    QPushButton* cmdHelp_;
    QPushButton* cmdClose_;
};

}  // namespace qm::desktop
