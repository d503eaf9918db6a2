// Fuzzes the disc image reader: the input is written to a scratch file and opened as an
// image; when it opens, every folder is listed and every file up to 1 MB is read.
#include "foundation/discimage.h"
#include "scratch_file.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

void walk(const qm::DiscImage& img, const std::string& rel, int& budget) {
    const auto* entries = img.entries(rel);
    if (!entries) __builtin_trap();  // a folder of the index must list
    for (const auto& e : *entries) {
        if (--budget < 0) return;
        const std::string path = rel.empty() ? e.name : rel + "\\" + e.name;
        if (img.find(path) == nullptr && e.name.find_first_of("/\\") == std::string::npos && e.name != ".")
            __builtin_trap();  // an indexed name must be found again
        if (e.isDir) {
            walk(img, path, budget);
        } else {
            std::string bytes, reason;
            if (img.readFile(path, bytes, reason, 1 << 20) && bytes.size() != e.size) __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = qmfuzz::scratchFile("qm_fuzz_disc", ".iso");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    qm::DiscProblem problem;
    std::string text;
    const auto img = qm::DiscImage::open(path, problem, text);
    if (!img) {
        if (text.empty() || problem == qm::DiscProblem::None) __builtin_trap();
        return 0;
    }
    (void)img->facts().fileSystems();
    int budget = 10000;
    walk(*img, "", budget);
    return 0;
}
