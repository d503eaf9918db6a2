// Fuzzes the element table reader: the line splitter on the input as one line, and
// CJobFileCheck::loadSetting on the input as a whole table file (CP932).
#include "checks/jobfilecheck.h"
#include "scratch_file.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

const std::string& tablePath() { return qmfuzz::scratchFile("qm_fuzz_table_", ".txt"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    if (auto items = qm::splitElementTableLine(input)) {
        if (items->empty() || items->size() > qm::kMaxElementTableItems) __builtin_trap();
        size_t total = items->size() - 1;  // the commas
        for (const auto& item : *items) total += item.size();
        if (total != input.size()) __builtin_trap();  // nothing lost, nothing added
    }

    std::ofstream(tablePath(), std::ios::binary | std::ios::trunc) << input;
    qm::CJobFileCheck check;
    if (check.loadSetting(tablePath())) {
        for (const qm::ElementRule& r : check.rules()) {
            if (r.allowedCount > 0 && r.allowedValues.size() != static_cast<size_t>(r.allowedCount)) __builtin_trap();
            if (r.allowedCount <= 0 && !r.allowedValues.empty()) __builtin_trap();
        }
    } else if (!check.rules().empty()) {
        __builtin_trap();  // a failed load keeps no rules
    }
    return 0;
}
