#include "hostile_fixture.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <functional>
#include <iterator>
#include <string_view>

extern char** environ;

namespace hostile {

namespace {

// The names in an open folder, sorted, "." and ".." left out. The descriptor stays open.
std::vector<std::string> namesIn(int dirfd) {
    std::vector<std::string> names;
    const int dup = ::openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dup < 0) return names;
    DIR* d = ::fdopendir(dup);
    if (d == nullptr) {
        ::close(dup);
        return names;
    }
    while (dirent* de = ::readdir(d)) {
        const std::string_view n = de->d_name;
        if (n == "." || n == "..") continue;
        names.emplace_back(n);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::string contentHash(int dirfd, const std::string& name) {
    const int fd = ::openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return "unreadable";
    size_t h = 1469598103934665603ull;
    static thread_local std::string buf(1 << 20, '\0');
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n <= 0) break;
        h = h * 1099511628211ull ^ std::hash<std::string_view>()(std::string_view(buf.data(), static_cast<size_t>(n)));
    }
    ::close(fd);
    return std::to_string(h);
}

std::string describe(int dirfd, const std::string& name, const std::string& rel, const struct stat& st,
                     uint64_t contentLimit) {
    std::string line = rel;
    line += '\0';
    if (S_ISDIR(st.st_mode)) line += 'd';
    else if (S_ISLNK(st.st_mode)) line += 'l';
    else if (S_ISREG(st.st_mode)) line += 'f';
    else if (S_ISFIFO(st.st_mode)) line += 'p';
    else line += '?';
    line += " size=" + std::to_string(st.st_size) + " mode=" + std::to_string(st.st_mode & 07777) +
            " mtime=" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) +
            " ctime=" + std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec);
    if (S_ISLNK(st.st_mode)) {
        char target[4096];
        const ssize_t n = ::readlinkat(dirfd, name.c_str(), target, sizeof target);
        line += " -> " + (n >= 0 ? std::string(target, static_cast<size_t>(n)) : std::string("?"));
    } else if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= contentLimit) {
        line += " hash=" + contentHash(dirfd, name);
    }
    return line;
}

// Walks below top depth first, in name order, holding one descriptor at a time: a
// folder is entered with openat(parent, name) and left with openat(folder, "..").
// visit(dirfd, name, rel, stat) sees every entry before its sub-tree; leave(dirfd, name)
// is called for every folder after its sub-tree, with the parent's descriptor.
void walkTree(const fs::path& top,
              const std::function<void(int, const std::string&, const std::string&, const struct stat&)>& visit,
              const std::function<void(int, const std::string&)>& leave) {
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    struct Frame {
        std::string rel;
        std::vector<std::string> folders;
        size_t next = 0;
    };
    auto readLevel = [&](int dirfd, const std::string& rel) {
        Frame f;
        f.rel = rel;
        for (const std::string& n : namesIn(dirfd)) {
            struct stat st {};
            if (::fstatat(dirfd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            visit(dirfd, n, rel + n, st);
            if (S_ISDIR(st.st_mode)) f.folders.push_back(n);
        }
        return f;
    };
    std::vector<Frame> stack;
    stack.push_back(readLevel(fd, ""));
    while (!stack.empty()) {
        if (stack.back().next < stack.back().folders.size()) {
            const std::string name = stack.back().folders[stack.back().next++];
            const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) continue;
            ::close(fd);
            fd = child;
            const std::string rel = stack.back().rel + name + "/";
            stack.push_back(readLevel(fd, rel));
        } else {
            stack.pop_back();
            if (stack.empty()) break;
            const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = parent;
            if (fd < 0) return;
            const Frame& up = stack.back();
            leave(fd, up.folders[up.next - 1]);
        }
    }
    ::close(fd);
}

}  // namespace

std::vector<std::string> fingerprintTree(const fs::path& top, uint64_t contentLimit) {
    std::vector<std::string> out;
    struct stat st {};
    if (::lstat(top.c_str(), &st) != 0) return out;
    out.push_back(describe(AT_FDCWD, top.string(), ".", st, contentLimit));
    walkTree(
        top,
        [&](int dirfd, const std::string& name, const std::string& rel, const struct stat& s) {
            out.push_back(describe(dirfd, name, rel, s, contentLimit));
        },
        [](int, const std::string&) {});
    return out;
}

std::string firstDifference(const std::vector<std::string>& before, const std::vector<std::string>& after) {
    const size_t n = std::min(before.size(), after.size());
    for (size_t i = 0; i < n; ++i) {
        if (before[i] != after[i]) {
            std::string a = before[i], b = after[i];
            std::replace(a.begin(), a.end(), '\0', ' ');
            std::replace(b.begin(), b.end(), '\0', ' ');
            return "entry " + std::to_string(i) + ": before [" + a.substr(0, 300) + "] after [" + b.substr(0, 300) + "]";
        }
    }
    if (before.size() != after.size())
        return "entry count " + std::to_string(before.size()) + " before, " + std::to_string(after.size()) + " after";
    return "";
}

void removeTree(const fs::path& top) {
    struct stat st {};
    if (::lstat(top.c_str(), &st) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlink(top.c_str());
        return;
    }
    walkTree(
        top,
        [](int dirfd, const std::string& name, const std::string&, const struct stat& s) {
            if (!S_ISDIR(s.st_mode)) ::unlinkat(dirfd, name.c_str(), 0);
        },
        [](int parent, const std::string& name) { ::unlinkat(parent, name.c_str(), AT_REMOVEDIR); });
    ::rmdir(top.c_str());
}

fs::path scratchFolder(const std::string& tag) {
    static std::atomic<int> counter{0};
    std::error_code ec;
    fs::path base = fs::temp_directory_path();
    if (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0) base = "/dev/shm";
    const fs::path p = base / ("qm-hostile-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    removeTree(p);
    fs::create_directories(p);
    return p;
}

int makeChain(const fs::path& parent, const std::string& name, int depth) {
    int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int reached = 0;
    while (fd >= 0 && reached < depth) {
        if (::mkdirat(fd, name.c_str(), 0755) != 0) break;
        const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = child;
        if (fd >= 0) ++reached;
    }
    if (fd >= 0) ::close(fd);
    return reached;
}

ChildRun runCommand(const std::vector<std::string>& args, const fs::path& scratch) {
    ChildRun r;
    const std::string outFile = (scratch / "child.out").string();
    const std::string errFile = (scratch / "child.err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        r.err = "spawn failed: " + std::to_string(rc);
        return r;
    }
    int status = 0;
    struct rusage ru {};
    while (::wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.peakRssKb = ru.ru_maxrss;
    auto slurp = [](const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    r.out = slurp(outFile);
    r.err = slurp(errFile);
    return r;
}

LoopbackListener::LoopbackListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    // A connection to the loopback address needs the interface up; probe it once.
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool up = probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (probe >= 0) ::close(probe);
    if (!up) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    // Take the probe's connection off the queue.
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 1000) > 0) {
        const int c = ::accept(fd_, nullptr, nullptr);
        if (c >= 0) ::close(c);
    }
    port_ = ntohs(a.sin_port);
}

LoopbackListener::~LoopbackListener() {
    if (fd_ >= 0) ::close(fd_);
}

bool LoopbackListener::connected() {
    if (fd_ < 0) return false;
    const int c = ::accept(fd_, nullptr, nullptr);
    if (c < 0) return false;
    ::close(c);
    return true;
}

}  // namespace hostile
