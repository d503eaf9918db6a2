// Program-wide state: folders, the last and base locations, the stop flag and the
// remembered update-date period. One object for the whole program.
#pragma once

#include <atomic>
#include <string>

namespace qm {

struct AppState {
    std::string appPath;      // folder of the program, ends in a separator
    std::string settingPath;  // appPath + "Setting" + separator
    std::string logPath;      // the log folder, ends in a separator; empty = checking disabled
    std::string logFolderProblem;  // why logPath is empty, when it is (shown when a check is asked for)
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
    // Uses dir as the log folder (created when missing, with the same safety tests).
    bool useLogFolder(const std::string& dir);

    // Deletes every file in logPath whose name matches "*.log" ignoring case; nothing else.
    void deleteLogs() const;

    std::string helpFile() const { return appPath + "Quillmark.chm"; }
};

}  // namespace qm
