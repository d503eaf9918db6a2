#include "checks/checkrun.h"

#include "checks/foldercheck.h"
#include "checks/jobfilecheck.h"
#include "checks/relationcheck.h"
#include "checks/xmldoc.h"
#include "foundation/appstate.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace qm {

std::string mediumNumberText(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d", n);
    return buf;
}
std::string folderLogName(int n) { return "FolderCheck_" + mediumNumberText(n) + ".log"; }
std::string indexLogName(int n) { return "JobFileCheck_IND_" + mediumNumberText(n) + ".log"; }
std::string surveyLogName(int n) { return "JobFileCheck_SUV_" + mediumNumberText(n) + ".log"; }
std::string survTskLogName(int n) { return "JobFileCheck_TSK_" + mediumNumberText(n) + ".log"; }
std::string totalLogName() { return std::string("FolderCheck_") + "000.Log"; }

std::vector<SettingTable> runSettingTables(int16_t resultType) {
    const std::string suffix = resultType == 2 ? "_S" : "_C";
    return {{"FileInfo" + suffix + ".txt", "Folder"},
            {"PdfOrder_Chk" + suffix + ".txt", "Folder"},
            {"INDEX_D_CHK.txt", "Index"},
            {"SURVEY_CHK" + suffix + ".txt", "Survey"},
            {"SURV_TSK_CHK" + suffix + ".txt", "Surv_Tsk"}};
}

std::vector<SettingTableProblem> missingSettingTables(const std::string& settingPath, int16_t resultType) {
    std::vector<SettingTableProblem> out;
    for (const auto& table : runSettingTables(resultType)) {
        const std::string path = withTrailingSeparator(settingPath) + table.name;
        if (!isPlainFile(path))
            out.push_back({table, "設定テーブルが見つかりません: " + path});
        else if (::access(path.c_str(), R_OK) != 0)
            out.push_back({table, systemErrorMessage("設定テーブルを読み込めません", path, errno)});
    }
    return out;
}

namespace {

uint32_t serialOf(const std::string& path) {
    VolumeInfo info;
    return GetVolumeInfo(path, info) ? info.serial : 0;
}

// Asks the locator for medium n; answers the location with its separator, or nullopt.
std::optional<std::string> askFor(AppState& app, MediumLocator& locator, int n) {
    auto chosen = locator.askMedium(n, app.lastPath);
    if (!chosen) return std::nullopt;
    std::string path = withTrailingSeparator(*chosen);
    app.lastPath = path;
    return path;
}

bool stopRequested(AppState& app, CheckRunObserver* obs) {
    if (obs) obs->yield();
    return app.stop.load();
}

}  // namespace

int16_t runCheckAll(AppState& app, const CheckRunInput& in, MediumLocator& locator,
                    std::vector<MediumRecord>& media, CheckRunObserver* obs) {
    const int16_t T = in.resultType;
    const int N = in.mediaNum;
    const std::string suffix = T == 2 ? "_S" : "_C";
    const std::string& setting = app.settingPath;
    const std::string& logs = app.logPath;

    // Without a log folder nothing could be recorded (and a relative log name would land
    // in the working folder, which may be the medium itself).
    if (logs.empty()) {
        showMessage("Quillmark", app.logFolderProblem.empty() ? "ログフォルダを作成できないため、チェックできません。"
                                                              : app.logFolderProblem,
                    MsgIcon::Exclamation);
        return kRunStopped;
    }
    // Never a log on a medium, never a medium's file cleared as a log.
    if (!in.handedPath.empty()) {
        if (std::string why = logFolderOverlap(logs, in.handedPath); !why.empty()) {
            showMessage("ログフォルダ", why, MsgIcon::Exclamation);
            return kRunStopped;
        }
    }
    // Preparation: only this run's logs may be in the log folder.
    app.deleteLogs();
    clearLogFailures();

    CFolderCheck folderCheck(setting);
    folderCheck.loadSetting(setting + "PdfOrder_Chk" + suffix + ".txt");
    uint8_t selection[14];
    for (int k = 0; k < 14; ++k) selection[k] = in.flags.flag[k];
    folderCheck.setCheckCondition(T, selection, in.dateS[0], in.dateS[1], in.dateS[2], in.dateE[0], in.dateE[1],
                                  in.dateE[2]);
    if (obs) folderCheck.setProgress([obs](int64_t n) { obs->entriesWalked(n); });
    // A stop during the walk of a large medium ends the walk rather than waiting for it.
    folderCheck.setStopFlag(&app.stop);

    CJobFileCheck jobCheck;
    jobCheck.setResultType(T);
    CRelationCheck relation;
    relation.setResultType(T);

    media.assign(N, MediumRecord{});
    int16_t result = 0;
    int lastIndex = 0;
    std::string handedPath = in.handedPath;
    uint32_t handedSerial = in.handedSerial;

    for (int i = 0; i < N; ++i) {
        lastIndex = i;
        const int n = i + 1;
        if (stopRequested(app, obs)) { result = kRunStopped; break; }

        std::string location;
        uint32_t serial = 0;
        if (i == 0) {
            if (!handedPath.empty() && handedSerial != 0 && serialOf(handedPath) == handedSerial) {
                location = withTrailingSeparator(handedPath);
                serial = handedSerial;
            } else {
                handedPath.clear();
                handedSerial = 0;
                auto chosen = askFor(app, locator, n);
                if (!chosen) { result = kRunCancelledFirst; break; }
                location = *chosen;
                serial = serialOf(location);
                if (std::string why = logFolderOverlap(logs, location); !why.empty()) {
                    showMessage("ログフォルダ", why, MsgIcon::Exclamation);
                    result = kRunStopped;
                    break;
                }
            }
        } else {
            bool cancelled = false;
            for (;;) {
                auto chosen = askFor(app, locator, n);
                if (!chosen) { cancelled = true; break; }
                location = *chosen;
                serial = serialOf(location);
                // Serial numbers are unsigned: every non-zero serial takes part in the test.
                bool again = false;
                if (serial != 0) {
                    for (int j = 0; j < i; ++j) {
                        if (media[j].path == location && media[j].volumeNo == serial) { again = true; break; }
                    }
                }
                if (!again) {
                    const std::string why = logFolderOverlap(logs, location);
                    if (why.empty()) break;
                    showMessage("ログフォルダ", why, MsgIcon::Exclamation);
                    continue;
                }
                showMessage("成果メディア", "指定した成果は、既にチェックしています。", MsgIcon::Exclamation);
            }
            if (cancelled) { result = kRunCancelledFirst; break; }
        }

        if (obs) obs->mediumStarted(n, N, location);
        if (obs) obs->yield();
        media[i].path = location;
        media[i].driveType = GetDriveTypeOfPath(location);
        media[i].volumeNo = serial;

        // The checks of this medium share one parse of each management file and one
        // reading of each folder.
        XmlCacheScope mediumDocuments;
        ListingCacheScope mediumListings;
        const std::string folderLog = logs + folderLogName(n);
        folderCheck.checkFolder(location, static_cast<int16_t>(N), folderLog);
        if (stopRequested(app, obs)) { result = kRunStopped; break; }
        relation.setUnreadablePlaces(location, folderCheck.unreadablePlaces());

        const std::string indexFile = managementFile(location, "INDEX_D.XML");
        const std::string surveyFile = managementFile(location, "SURVEY\\SURVEY.XML");
        const std::string tskFile = managementFile(location, "SURVEY\\TISEKI\\SURV_TSK.XML");
        jobCheck.setAllowedRoot(location);
        relation.setAllowedRoot(location);
        if (i == 0) relation.getDocFilenameFromJobFile(indexFile, surveyFile, tskFile);

        const std::string indexLog = logs + indexLogName(n);
        // The relation check needs the management file, not its element table: it is left
        // out when the file is missing (logged as such), but not when the element check could
        // not be made for another reason (an unreadable table, whose box has been shown).
        // Left out there, the folders the file names would never be marked as present, and
        // the totals would report every one of them as missing.
        auto relationWanted = [](int16_t elementResult, const std::string& file) {
            return elementResult >= 0 || isPlainFile(file);
        };
        // A management file that is not there, in a folder the walk could not list, is
        // unknown rather than missing: the 10001 of that folder stands for it, and its
        // element check is left out like that of a missing file.
        auto elementCheck = [&](const std::string& file, const char* rel, const std::string& table,
                                const std::string& log) -> int16_t {
            if (!isPlainFile(file) && folderCheck.underUnreadable(rel)) return -1;
            return jobCheck.checkJobFile(file, table, log);
        };
        int16_t r = elementCheck(indexFile, "INDEX_D.XML", setting + "INDEX_D_CHK.txt", indexLog);
        if (r >= 0) result |= r;
        if (relationWanted(r, indexFile)) {
            int16_t rr = relation.checkRelation_Index(indexFile, location, indexLog, folderLog, static_cast<int16_t>(n),
                                                      static_cast<int16_t>(N));
            if (rr >= 0) result |= rr;
        }
        if (stopRequested(app, obs)) { result = kRunStopped; break; }

        const std::string surveyLog = logs + surveyLogName(n);
        r = elementCheck(surveyFile, "SURVEY\\SURVEY.XML", setting + "SURVEY_CHK" + suffix + ".txt", surveyLog);
        if (r >= 0) result |= r;
        if (relationWanted(r, surveyFile)) {
            int16_t rr = relation.checkRelation_Survey(surveyFile, location, surveyLog, folderLog);
            if (rr >= 0) result |= rr;
        } else {
            // Without its own SURVEY.XML the medium's folders still count as present.
            result |= relation.markHoldings_Survey(location, folderLog);
        }
        if (stopRequested(app, obs)) { result = kRunStopped; break; }

        const std::string tskLog = logs + survTskLogName(n);
        r = elementCheck(tskFile, "SURVEY\\TISEKI\\SURV_TSK.XML", setting + "SURV_TSK_CHK" + suffix + ".txt",
                         tskLog);
        if (r >= 0) result |= r;
        if (relationWanted(r, tskFile)) {
            int16_t rr = relation.checkRelation_Tiseki(tskFile, location, tskLog, folderLog);
            if (rr >= 0) result |= rr;
        } else {
            result |= relation.markHoldings_Tiseki(location, folderLog);
        }
        if (stopRequested(app, obs)) { result = kRunStopped; break; }

        if (obs) obs->mediumFinished(n, location);
    }

    if (result >= 0) {
        const std::string totalLog = logs + totalLogName();
        int16_t r = folderCheck.checkProcessTotal(totalLog);
        if (r >= 0) result |= r;
        if (N > 1) {
            CErrorLog log;
            log.setFileName(totalLog);
            log.writeErrorLog(30702, "成果枚数", "", "電子媒体は、１枚が標準です");
            log.CloseFile();
            result |= 1;
        }
        r = relation.checkXmlToVol_Total(logs + indexLogName(1), logs + surveyLogName(1), logs + survTskLogName(1));
        if (r >= 0) result |= r;
    }
    if (result == kRunCancelledFirst && lastIndex > 0) result = kRunStopped;
    return result;
}

}  // namespace qm
