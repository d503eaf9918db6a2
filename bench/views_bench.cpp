// Times the result views on a delivery, offscreen: the folder structure view of a medium
// (tree built, window shown) and the XML view of its SURV_TSK.XML, each in its own run so
// that the peak memory is the view's own.
//
//   QT_QPA_PLATFORM=offscreen build/quillmark_views_bench folder|xml|doclist MEDIUM [SETTING_DIR [FOLDER_LOG]]
//
// folder with a FOLDER_LOG merges that log's findings into the tree, as after a check;
// folder-scroll then also pages down the whole tree, each page painted, and tells how long
// a page took.
//
// Prints "<mode> <seconds> s, <rows> rows, peak <MB> MB". doclist runs the whole check of
// the medium with the deliverables list fed after it, as the check run window does, and
// tells how much of the run the list took.
#include "checks/checkrun.h"
#include "models/doclist.h"
#include "models/foldertree.h"
#include "checks/inspection.h"
#include "foundation/appstate.h"
#include "models/xmltree.h"
#include "foundation/platform.h"
#include "printing/layout/fonts.h"
#include "views/folderview.h"
#include "views/xmlview.h"

#include <QApplication>
#include <QScrollBar>
#include <QTreeView>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

class NoMoreMedia : public qm::MediumLocator {
public:
    std::optional<std::string> askMedium(int, const std::string&) override { return std::nullopt; }
};

class TimedFeeder : public qm::CheckRunObserver {
public:
    explicit TimedFeeder(qm::DeliverablesList& list) : list_(list) {}
    void mediumFinished(int, const std::string& path) override {
        const auto t = Clock::now();
        list_.SearchFiles(path);
        spent += std::chrono::duration<double>(Clock::now() - t).count();
    }
    double spent = 0;
private:
    qm::DeliverablesList& list_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s folder|folder-scroll|xml|doclist MEDIUM [SETTING_DIR [FOLDER_LOG]]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    qm::installFontSubstitutions();
    const std::string mode = argv[1];
    const std::string medium = qm::withTrailingSeparator(argv[2]);
    const std::string setting = argc > 3 ? qm::withTrailingSeparator(argv[3]) : std::string();
    const auto start = std::chrono::steady_clock::now();
    size_t rows = 0;
    int answer = 0;
    if (mode == "folder" || mode == "folder-scroll") {
        qm::desktop::FolderStructureView view;
        const std::string log = argc > 4 ? argv[4] : "";
        answer = view.SetTree(nullptr, 1, medium, setting.empty() ? "" : setting + "FileInfo_C.txt", log) ? 0 : 1;
        view.show();
        QApplication::processEvents();
        // Down the whole tree a page at a time, as a reader of the findings would.
        if (mode == "folder-scroll") {
            QTreeView* grid = view.view();
            const auto scroll = std::chrono::steady_clock::now();
            int pages = 0;
            for (int v = 0; v <= grid->verticalScrollBar()->maximum(); v += grid->verticalScrollBar()->pageStep()) {
                grid->verticalScrollBar()->setValue(v);
                grid->viewport()->repaint();
                ++pages;
            }
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - scroll).count();
            std::printf("scrolled %d pages in %.3f s (%.2f ms a page)\n", pages, s, s * 1000 / std::max(pages, 1));
        }
        rows = view.model()->tree().rows().size();
    } else if (mode == "xml") {
        qm::desktop::XmlView view;
        answer = view.SetTree(nullptr, qm::joinRel(medium, "SURVEY\\TISEKI\\SURV_TSK.XML"), "");
        view.show();
        QApplication::processEvents();
        rows = view.model()->tree().rows().size();
    } else if (mode == "doclist") {
        QTemporaryDir logs;
        qm::AppState state;
        state.settingPath = setting;
        state.useLogFolder(logs.path().toStdString());
        qm::CheckRunInput in;
        in.resultType = 1;
        qm::JudgeProcess(1, medium, in.flags);
        in.handedPath = medium;
        qm::VolumeInfo volume;
        if (qm::GetVolumeInfo(medium, volume)) in.handedSerial = volume.serial;
        qm::DeliverablesList list;
        TimedFeeder feeder(list);
        const auto t = Clock::now();
        list.setDocInfo(1, setting + "DocList_C.txt", in.flags);
        NoMoreMedia none;
        std::vector<qm::MediumRecord> media;
        qm::runCheckAll(state, in, none, media, &feeder);
        const auto g = Clock::now();
        list.setGrid();
        feeder.spent += std::chrono::duration<double>(Clock::now() - g).count();
        const double run = std::chrono::duration<double>(Clock::now() - t).count();
        rows = list.gridRows().size();
        std::printf("doclist %.3f s of a run of %.3f s (%.1f %%)\n", feeder.spent, run, feeder.spent * 100 / run);
    } else {
        std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
        return 2;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s %.3f s, %zu rows, peak %.1f MB%s\n", mode.c_str(), seconds, rows, usage.ru_maxrss / 1024.0,
                answer == 0 ? "" : " (not built)");
    return answer == 0 ? 0 : 1;
}
