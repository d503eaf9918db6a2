// Times the result views on a delivery, offscreen: the folder structure view of a medium
// (tree built, window shown) and the XML view of its SURV_TSK.XML, each in its own run so
// that the peak memory is the view's own.
//
//   QT_QPA_PLATFORM=offscreen build/quillmark_views_bench folder|xml MEDIUM [SETTING_DIR]
//
// Prints "<mode> <seconds> s, <rows> rows, peak <MB> MB".
#include "checks/foldertree.h"
#include "checks/xmltree.h"
#include "foundation/platform.h"
#include "printing/layout/fonts.h"
#include "views/folderview.h"
#include "views/xmlview.h"

#include <QApplication>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s folder|xml MEDIUM [SETTING_DIR]\n", argv[0]);
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
    if (mode == "folder") {
        qm::desktop::FolderStructureView view;
        answer = view.SetTree(nullptr, 1, medium, setting.empty() ? "" : setting + "FileInfo_C.txt", "") ? 0 : 1;
        view.show();
        QApplication::processEvents();
        rows = view.model()->tree().rows().size();
    } else if (mode == "xml") {
        qm::desktop::XmlView view;
        answer = view.SetTree(nullptr, qm::joinRel(medium, "SURVEY\\TISEKI\\SURV_TSK.XML"), "");
        view.show();
        QApplication::processEvents();
        rows = view.model()->tree().rows().size();
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
