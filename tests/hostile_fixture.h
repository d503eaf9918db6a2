// Helpers for the hostile medium tests: a fingerprint of a whole tree taken without
// following links and without building paths (so trees deeper than a path can name are
// covered), removal of such trees, a check run driven in this process, and the headless
// command run as a child whose peak memory is measured.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace hostile {

namespace fs = std::filesystem;

// One line per entry below top (top included): relative path, type, size, modification
// and change times, mode, link target and a hash of the contents of regular files not
// larger than contentLimit. Entries are listed in name order, depth first.
std::vector<std::string> fingerprintTree(const fs::path& top, uint64_t contentLimit = 512ull << 20);

// The first difference between two fingerprints, for failure messages ("" when equal).
std::string firstDifference(const std::vector<std::string>& before, const std::vector<std::string>& after);

// Removes a tree of any depth (links are removed, never followed).
void removeTree(const fs::path& top);

// A new empty folder for scratch media: in the memory file system when there is one.
fs::path scratchFolder(const std::string& tag);

// Makes a chain of `depth` nested folders named `name` below parent with *at calls, as
// deep as the file system allows; answers the depth reached.
int makeChain(const fs::path& parent, const std::string& name, int depth);

// The headless command run as a child process.
struct ChildRun {
    int exitCode = -1;         // -1 when it did not exit normally
    int signal = 0;            // the signal that ended it, if any
    long peakRssKb = 0;        // the child's own peak resident size
    std::string out, err;
};
ChildRun runCommand(const std::vector<std::string>& args, const fs::path& scratch);

// A TCP listener on the loopback interface that records whether anything connected.
// Not available (port 0) where the loopback interface is down, as in a network
// namespace of its own.
class LoopbackListener {
public:
    LoopbackListener();
    ~LoopbackListener();
    int port() const { return port_; }
    bool connected();  // any connection attempt so far
private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace hostile
