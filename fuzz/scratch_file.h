// A scratch file for fuzz targets that feed their input to readers of files: one path
// per process in the temporary folder, removed at exit; messages are swallowed.
#pragma once

#include "foundation/messages.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qmfuzz {

class QuietSink : public qm::MessageSink {
public:
    qm::MsgAnswer show(const qm::Message&) override { return qm::MsgAnswer::Ok; }
};

// The path "<temp>/<stem><pid><extension>", the same on every call of one process.
inline const std::string& scratchFile(const char* stem, const char* extension) {
    static const std::string path = [&] {
        static QuietSink sink;
        qm::setMessageSink(&sink);
        return (std::filesystem::temp_directory_path() / (stem + std::to_string(::getpid()) + extension)).string();
    }();
    static const bool cleaned = std::atexit([] {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }) == 0;  // registered after path exists, so it runs before path is destroyed
    (void)cleaned;
    return path;
}

}  // namespace qmfuzz
