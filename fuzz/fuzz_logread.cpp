// Fuzzes reading a check log back: the input is written as a log file, then read with
// CCsvRead (trimmed and not) and with readLogFindings in both line layouts.
#include "checks/resultlog.h"
#include "foundation/csvread.h"
#include "foundation/messages.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class QuietSink : public qm::MessageSink {
public:
    qm::MsgAnswer show(const qm::Message&) override { return qm::MsgAnswer::Ok; }
};

const std::string& logPath();

void removeScratch() {
    std::error_code ec;
    std::filesystem::remove(logPath(), ec);
}

const std::string& logPath() {
    static const std::string path = [] {
        static QuietSink sink;
        qm::setMessageSink(&sink);
        return (std::filesystem::temp_directory_path() / ("qm_fuzz_log_" + std::to_string(::getpid()) + ".log"))
            .string();
    }();
    static const bool cleaned = std::atexit(removeScratch) == 0;  // runs before path is destroyed
    (void)cleaned;
    return path;
}

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
