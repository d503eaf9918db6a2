// Times indexing a disc image: bench_discimage IMAGE [--list]
// Prints the facts, the number of entries and folders, the best of three open() times
// and the peak resident memory; --list also prints every entry (path, size, date).
#include "foundation/discimage.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void listAll(const qm::DiscImage& img, const std::string& rel) {
    const auto* entries = img.entries(rel);
    if (!entries) return;
    for (const auto& e : *entries) {
        const std::string path = rel.empty() ? e.name : rel + "\\" + e.name;
        std::printf("%s%s\t%llu\t%04d-%02d-%02d %02d:%02d%s\n", path.c_str(), e.isDir ? "\\" : "",
                    static_cast<unsigned long long>(e.size), e.modified.year, e.modified.month, e.modified.day,
                    e.modified.hour, e.modified.minute, e.hidden ? "\thidden" : "");
        if (e.isDir) listAll(img, path);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s IMAGE [--list]\n", argv[0]);
        return 2;
    }
    double best = 1e9;
    std::unique_ptr<qm::DiscImage> img;
    for (int run = 0; run < 3; ++run) {
        img.reset();
        qm::DiscProblem problem;
        std::string text;
        const auto t0 = std::chrono::steady_clock::now();
        img = qm::DiscImage::open(argv[1], problem, text);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!img) {
            std::printf("problem %d: %s\n", static_cast<int>(problem), text.c_str());
            return 1;
        }
        if (s < best) best = s;
    }
    const qm::DiscFacts& f = img->facts();
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("file systems: %s\ntree: %s\nlabel: %s\nimage: %llu bytes, smallest medium: %s\n",
                f.fileSystems().c_str(), f.tree.c_str(), f.label.c_str(),
                static_cast<unsigned long long>(f.imageSize), f.smallestMedium ? f.smallestMedium->name : "none");
    if (!f.note.empty()) std::printf("note: %s\n", f.note.c_str());
    std::printf("level 1 breaks: %zu, files of 4 GiB or more: %zu\n", f.level1BreakCount, f.largeFileCount);
    std::printf("entries: %zu in %zu folders\nindex: %.3f s (best of 3), peak RSS %.1f MB\n", img->entryCount(),
                img->folderCount(), best, ru.ru_maxrss / 1024.0);
    if (argc > 2 && !std::strcmp(argv[2], "--list")) listAll(*img, "");
    return 0;
}
