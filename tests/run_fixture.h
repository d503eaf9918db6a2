// A small clean cadastral delivery and the setting tables that judge it, built in a
// temporary folder for the check run and command-line tests.
#pragma once

#include "checks/checkrun.h"

#ifdef _WIN32
#include <process.h>
#else
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qmtest {

namespace fs = std::filesystem;

inline std::string toCrlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\r\n";
        else out += c;
    }
    return out;
}

inline void writeBytes(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TempDir {
public:
    explicit TempDir(const std::string& tag) {
#ifdef _WIN32
        // mkdtemp's part: a new folder of a name not taken yet.
        static int count = 0;
        for (;;) {
            path_ = fs::temp_directory_path() / ("qm-" + tag + "-" + std::to_string(_getpid()) + "-" + std::to_string(++count));
            std::error_code ec;
            if (fs::create_directory(path_, ec)) break;
        }
#else
        std::string templ = (fs::temp_directory_path() / ("qm-" + tag + "-XXXXXX")).string();
        path_ = mkdtemp(templ.data());
#endif
    }
    ~TempDir() { std::error_code ec; fs::remove_all(path_, ec); }
    const fs::path& path() const { return path_; }
    std::string str() const { return path_.string() + "/"; }
private:
    fs::path path_;
};

// Writes text (UTF-8 source, "\n" line ends) as CP932 with CR LF.
void writeCp932(const fs::path& p, const std::string& utf8);

struct DeliveryOptions {
    int mediaNo = 1;
    int mediaCount = 1;
    std::string guideline = "地籍201704-01";
};

// A clean one-process (C) cadastral medium below top.
void buildCadastralMedium(const fs::path& top, const DeliveryOptions& o = {});
// Setting tables that find nothing wrong with buildCadastralMedium.
void buildSettingTables(const fs::path& dir);

// quillmark-check of the build folder run with args (already quoted for the shell).
struct CliResult {
    int exitCode = -1;
    std::string out, err;
};

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// scratch receives the captured stderr.
inline CliResult runCli(const std::string& args, const fs::path& scratch) {
    fs::path errFile = scratch / "stderr.txt";
    std::string cmd = std::string(QM_BINARY_DIR) + "/quillmark-check " + args + " 2>" + shellQuote(errFile.string());
    CliResult r;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
#ifdef _WIN32
    r.exitCode = status;
#else
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    r.err = readBytes(errFile);
    return r;
}

// Hands the run the given top folders, medium 1 first; no more after the last.
class ListedMedia : public qm::MediumLocator {
public:
    explicit ListedMedia(std::vector<std::string> tops) : tops_(std::move(tops)) {}
    explicit ListedMedia(std::string top) : tops_{std::move(top)} {}
    std::optional<std::string> askMedium(int n, const std::string&) override {
        if (n < 1 || n > static_cast<int>(tops_.size())) return std::nullopt;
        return tops_[static_cast<size_t>(n - 1)];
    }

private:
    std::vector<std::string> tops_;
};

}  // namespace qmtest
