// Program-wide state: folders, the last and base locations, the stop flag and the
// remembered update-date period. One object for the whole program.
#pragma once

#include <atomic>
#include <string>

namespace qm {

// The names the check run gives its logs: FolderCheck_nnn.log, JobFileCheck_IND_nnn.log,
// JobFileCheck_SUV_nnn.log, JobFileCheck_TSK_nnn.log (nnn three digits, 000 the whole
// delivery), in any letter case.
bool isRunLogName(const std::string& name);

// Why logFolder cannot hold the logs of a run over medium: it is the medium's folder,
// lies inside it or holds it (links resolved, compared by folder identity, so that an
// alias of the same folder is caught too). Empty when they are apart. logFolder need
// not exist yet.
std::string logFolderOverlap(const std::string& logFolder, const std::string& medium);

// An exclusive lock on a log folder, held from a run's clearing of the folder until its
// logs have been read back (the headless program for its whole run, the desktop while
// its result view is open), so that two runs never write or clear one folder at the
// same time. The lock is on the folder itself: nothing is written into it. Advisory:
// only programs that take it are held off.
class LogFolderLock {
public:
    LogFolderLock() = default;
    ~LogFolderLock() { release(); }
    LogFolderLock(const LogFolderLock&) = delete;
    LogFolderLock& operator=(const LogFolderLock&) = delete;

    // Takes the lock without waiting. False when another holder has it (takenByAnother())
    // or the folder cannot be opened; problem() then says why, in Japanese, with the path.
    // A file system that cannot lock at all is used unlocked (answers true).
    bool acquire(const std::string& folder);
    void release();
    bool held() const { return fd_ >= 0; }
    bool takenByAnother() const { return taken_; }
    const std::string& problem() const { return problem_; }

private:
    int fd_ = -1;
    bool taken_ = false;
    std::string problem_;
};

struct AppState {
    std::string appPath;      // folder of the program, ends in a separator
    std::string settingPath;  // appPath + "Setting" + separator
    std::string logPath;      // the log folder, ends in a separator; empty = checking disabled
    std::string logFolderProblem;  // why logPath is empty, when it is (shown when a check is asked for)
    bool logFolderIsOwn = false;   // logPath is the program's own folder, not one the user named
    std::string lastPath;
    std::string basePath;
    std::atomic<bool> stop{false};
    uint8_t checkDate = 0;
    std::string dateS[3] = {"1900", "1", "1"};
    std::string dateE[3];

    // Start-up: program and setting folders from the program's own folder, the log
    // folder (see establishLogFolder), the dates. Does not read the base folder.
    void startUp(const std::string& programFolder);

    // Sets logPath to <base>/quillmark_log/ where base is $XDG_RUNTIME_DIR when set, else a
    // per-user folder under the temporary folder. The folder is created with mode 0700; a
    // folder that is a symbolic link, not a folder, or owned by another user is refused:
    // logPath stays empty and logFolderProblem says why. Answers whether logPath is usable.
    bool establishLogFolder();
    // Uses dir, a folder the user named, as the log folder: created (privately) when
    // missing; refused when it is a symbolic link, not a folder, owned by another user or
    // not writable. The mode of a folder that already existed is left as it is.
    bool useLogFolder(const std::string& dir);

    // Clears the log folder before a run. The program's own folder loses every regular
    // file named "*.log" (any letter case); a folder the user named loses only the logs a
    // run writes (isRunLogName), never other files.
    void deleteLogs() const;

    std::string helpFile() const { return appPath + "Quillmark.chm"; }

private:
    bool openLogFolder(const std::string& dir, bool own);
};

}  // namespace qm
