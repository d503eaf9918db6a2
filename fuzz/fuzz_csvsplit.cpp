// Fuzzes the setting-table splitter on a CP932 line.
#include "foundation/csvread.h"
#include "foundation/text.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line = qm::fromCp932(std::string(reinterpret_cast<const char*>(data), size));
    auto items = qm::splitCsvLine(line);
    if (items.empty()) __builtin_trap();  // a line always gives at least one item
    return 0;
}
