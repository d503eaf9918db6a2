// How one window opens another. Each entry point is implemented beside the window it
// opens, so that the callers (main window, check run window, result view) need only this
// header.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace qm {
struct AppState;
struct MediumRecord;
class DeliverablesList;
namespace print { struct PrintDocument; }  // models/printdoc.h
}  // namespace qm

namespace qm::desktop {

// The check result view after a run, modal. media: one record per medium of the run;
// docList: the deliverables list the run filled (may be null when it could not load).
void showCheckResult(QWidget* parent, AppState& app, int16_t resultType,
                     const std::vector<MediumRecord>& media, DeliverablesList* docList);

// The folder structure view of a medium, modal. folderLog is the medium's folder check log,
// or empty when viewing without a check. While the tree is built the caller's progress panel
// (with its stop command) stays up; restore, when given, runs once the build has ended,
// before the view is shown. Answers false when the tree was not built.
bool showFolderView(QWidget* parent, AppState& app, int16_t resultType,
                    const std::string& checkPath, const std::string& folderLog,
                    const std::function<void()>& restore = {});

// The XML view of a management file, modal: which is 0 INDEX_D.XML, 1 SURVEY.XML,
// 2 SURV_TSK.XML; logFile is its element check log ("" when none). restore as for the
// folder view.
void showXmlView(QWidget* parent, AppState& app, int16_t resultType, int which,
                 const std::string& xmlFile, const std::string& logFile,
                 const std::function<void()>& restore = {});

// The deliverables list that the run filled, modal; closing only hides it, so showing it
// again keeps the chosen area and tab.
void showDeliverablesList(QWidget* parent, AppState& app, DeliverablesList& list);

// The print preview of a document, modal.
void showPrintPreview(QWidget* parent, const print::PrintDocument& doc);
// The top folders of media the program has checked or shown: no PDF is ever saved into
// them (the print preview refuses such a place and asks again). Kept for the session.
void rememberMedia(const std::vector<std::string>& topFolders);

// Help at a window's context number (13100, 13200, ...), and the page of a finding code.
void showHelp(QWidget* parent, int contextId);
void showFindingHelp(QWidget* parent, int32_t code);

}  // namespace qm::desktop
