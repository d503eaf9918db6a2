// Fuzzes reading a check log back: the input is written as a log file, then read with
// CCsvRead (trimmed and not) and with readLogFindings in both line layouts.
#include "checks/resultlog.h"
#include "foundation/csvread.h"
#include "scratch_file.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

const std::string& logPath() { return qmfuzz::scratchFile("qm_fuzz_log_", ".log"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::ofstream(logPath(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    for (bool trim : {false, true}) {
        qm::CCsvRead csv;
        if (!csv.OpenFile(logPath())) __builtin_trap();
        if (csv.IsEof() != (size == 0)) __builtin_trap();
        int32_t records = 0;
        try {
            while (!csv.IsEof()) {
                csv.ReadFile(trim);
                ++records;
                if (csv.RecordNum() != records) __builtin_trap();
                if (csv.ItemNum() < 1 || csv.ItemNum() > qm::CCsvRead::kMaxItems) __builtin_trap();
                for (int i = csv.ItemNum(); i < qm::CCsvRead::kMaxItems; ++i)
                    if (!csv.ItemValue(i).empty()) __builtin_trap();
                if (!csv.ItemValue(-1).empty() || !csv.ItemValue(qm::CCsvRead::kMaxItems).empty()) __builtin_trap();
            }
        } catch (const qm::CsvError&) {
            // a line of more than 128 items
        }
        if (records > static_cast<int32_t>(size) + 1) __builtin_trap();
    }
    qm::readLogFindings(logPath(), true);
    qm::readLogFindings(logPath(), false);
    return 0;
}
