#include "models/resultview.h"

#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"

#include "foundation/text.h"

#include <exception>
#include <set>

namespace qm {

Verdict runVerdict(bool anyLog, bool anyLogFailure) {
    if (anyLogFailure) return {kNoVerdictText, kFoundColour};
    if (anyLog) return {"チェックの結果、エラーが検出されました。", kFoundColour};
    return {"チェックの結果、エラーは検出されませんでした。", kCleanColour};
}

std::vector<MediaRow> mediaRows(const std::string& logPath, int mediaNum,
                                const std::vector<SettingTableProblem>& missingTables) {
    std::vector<MediaRow> rows;
    if (mediaNum <= 0) return rows;
    // The log folder is listed once: a run of many media leaves thousands of logs.
    std::set<std::string> logs;
    bool wholeHasLog = false;
    for (const DirEntry& e : listFolderNames(logPath).entries) {
        if (e.isDir || e.isHidden) continue;
        std::string upper = upperAscii(e.raw);
        if (upper.size() >= 7 && upper.compare(upper.size() - 7, 7, "000.LOG") == 0) wholeHasLog = true;
        logs.insert(std::move(upper));
    }
    // A log that could not be written may hold findings that never reached it.
    const std::string folder = withTrailingSeparator(logPath);
    for (const std::string& failed : logFailures()) {
        if (failed.size() <= folder.size() || failed.compare(0, folder.size(), folder) != 0) continue;
        std::string upper = upperAscii(failed.substr(folder.size()));
        if (upper.size() >= 7 && upper.compare(upper.size() - 7, 7, "000.LOG") == 0) wholeHasLog = true;
        logs.insert(std::move(upper));
    }
    rows.reserve(static_cast<size_t>(mediaNum) + 1);
    for (int n = 1; n <= mediaNum + 1; ++n) {
        MediaRow r;
        r.number = n <= mediaNum ? n : 0;
        r.label = r.number ? "成果" + std::to_string(n) + "枚目" : "成果全体";
        bool found = r.number == 0 && wholeHasLog;
        for (const SettingTableProblem& p : missingTables)
            if (r.number != 0 || p.table.checkKey == kCheckTypes[0].key) found = true;
        for (size_t k = 0; r.number != 0 && k < kCheckTypes.size() && !found; ++k)
            found = logs.count(upperAscii(std::string(kCheckTypes[k].prefix) + mediumNumberText(n) + ".log")) != 0;
        r.mark = found ? "×" : "○";
        rows.push_back(std::move(r));
    }
    return rows;
}

void markMissingTables(MediumResult& medium, const std::vector<SettingTableProblem>& missingTables) {
    for (const SettingTableProblem& p : missingTables)
        for (CheckTypeResult& t : medium.types)
            if (t.key == p.table.checkKey && t.failure.empty()) {
                t.failure = p.message;
                medium.anyLog = true;
            }
}

std::vector<FindingRow> findingRows(const MediumResult& medium, size_t typeIndex) {
    std::vector<FindingRow> rows;
    if (typeIndex >= medium.types.size()) return rows;
    const CheckTypeResult& t = medium.types[typeIndex];
    if (!t.failure.empty()) {
        FindingRow failed;
        failed.content = t.failure;
        failed.failed = true;
        rows.push_back(std::move(failed));
    } else if (t.findings.empty()) {
        if (typeIndex == 0 || medium.number != 0) {
            FindingRow clean;
            clean.content = kNoFindingsText;
            clean.clean = true;
            rows.push_back(std::move(clean));
        }
        return rows;
    }
    rows.reserve(t.findings.size());
    for (const LoggedFinding& f : t.findings) {
        FindingRow r;
        r.place = typeIndex == 0 ? f.place : f.location();
        r.content = f.message;
        r.code = f.number;
        rows.push_back(std::move(r));
    }
    return rows;
}

std::optional<ManagementFileTarget> managementFileTarget(size_t typeIndex, int medium) {
    switch (typeIndex) {
        case 1: return ManagementFileTarget{0, "INDEX_D.XML", indexLogName(medium), "業務管理ファイル(INDEX_D.XML)"};
        case 2: return ManagementFileTarget{1, "SURVEY\\SURVEY.XML", surveyLogName(medium),
                                            "測量情報管理ファイル(SURVEY.XML)"};
        case 3: return ManagementFileTarget{2, "SURVEY\\TISEKI\\SURV_TSK.XML", survTskLogName(medium),
                                            "地籍調査成果管理ファイル(SURV_TSK.XML)"};
        default: return std::nullopt;
    }
}

std::string structureSettingFile(const std::string& settingPath, int resultType) {
    return settingPath + (resultType == 1 ? "FileInfo_C.txt" : "FileInfo_S.txt");
}

bool storedLocationHolds(const MediumRecord& stored) {
    if (stored.path.empty()) return false;
    if (stored.driveType == kDriveFixed || stored.driveType == kDriveRemote) return isFolder(stored.path);
    VolumeInfo info;
    return GetVolumeInfo(stored.path, info) && info.serial == stored.volumeNo && isFolder(stored.path);
}

bool onSameVolume(const std::string& path, uint32_t storedSerial) {
    VolumeInfo info;
    return GetVolumeInfo(path, info) && info.serial == storedSerial && storedSerial != 0 && isFolder(path);
}

std::string GetCheckPath(const MediumRecord& stored, int medium, LocationAsker& asker) {
    try {
        if (storedLocationHolds(stored)) return stored.path;
        struct EndQuestions {
            LocationAsker& asker;
            ~EndQuestions() { asker.endQuestions(); }
        } end{asker};
        for (;;) {
            std::optional<std::string> chosen = asker.askLocation(medium, stored.path);
            if (!chosen) return "";
            std::string folder = withTrailingSeparator(*chosen);
            if (onSameVolume(folder, stored.volumeNo)) return folder;
            const MsgAnswer a = showMessage("成果ファイル場所",
                                            "指定した場所は、チェックを行ったメディアとは異なりますが、よろしいですか？",
                                            MsgIcon::Exclamation, MsgButtons::YesNo);
            if (a == MsgAnswer::Yes) return folder;
        }
    } catch (const std::exception& e) {
        showFailure("GetCheckPath", 0, e.what());
        return "";
    }
}

}  // namespace qm
