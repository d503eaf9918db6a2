// quillmark-check: the headless check of a delivery.
//
//   quillmark-check [options] MEDIUM...
//
// One folder per medium, medium 1 first; the options are in cli/options.cpp. Exit
// status: 0 nothing found, 1 findings, 2 the check could not be run (or its findings
// are no verdict: a setting table missing, a log not written).
#include "checks/checkpath.h"
#include "foundation/fspath.h"
#include "checks/checkrun.h"
#include "cli/doclist_report.h"  // deliverables list
#include "cli/imagesection.h"    // media given as disc images
#include "checks/inspection.h"
#include "checks/resultlog.h"
#include "checks/xmldoc.h"
#include "cli/options.h"
#include "cli/summary.h"
#include "foundation/appstate.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"
#ifdef QM_HAVE_REPORT
#include "cli/report.h"  // --report
#endif

#include <sys/stat.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace qm;
using namespace qmcli;

constexpr int kExitClean = 0;
constexpr int kExitFindings = 1;
constexpr int kExitCannotRun = 2;

AppState* gApp = nullptr;

extern "C" void onInterrupt(int) {
    if (gApp) gApp->stop.store(true);
    std::signal(SIGINT, SIG_DFL);  // a second interrupt ends the program at once
}

int fail(const std::string& caption, const std::string& text) {
    std::cerr << caption << ": " << text << "\n";
    return kExitCannotRun;
}

int fail(const CliError& e) {
    if (e.showUsage) std::cerr << usageText();
    return fail(e.caption, e.text);
}

void warn(const std::string& caption, const std::string& text) { std::cerr << caption << ": " << text << "\n"; }

// The location dialog's messages on stderr; its one question (a folder without
// INDEX_D.XML) is answered Yes, and the answer is told.
class CliMessageSink : public MessageSink {
public:
    MsgAnswer show(const Message& m) override {
        std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
        if (m.buttons == MsgButtons::YesNo) {
            std::fprintf(stderr, "  → quillmark-check は「はい」と答えてチェックを続けます。\n");
            std::fflush(stderr);
            return MsgAnswer::Yes;
        }
        std::fflush(stderr);
        return MsgAnswer::Ok;
    }
};

// Selection codes that the run window offers for a result type.
bool selectable(int type, int index) {
    static const int kPreliminary[] = {0, 1, 2, 3, 4, 5, 12, 13};  // C D E F1 F2 G FR H
    if (type == 1) return index < 14;
    for (int i : kPreliminary)
        if (i == index) return true;
    return false;
}

class FolderListLocator : public MediumLocator {
public:
    explicit FolderListLocator(const std::vector<std::string>& media) : media_(media) {}
    std::optional<std::string> askMedium(int n, const std::string&) override {
        // Each medium is handed out once; asking again (a refused duplicate) cancels.
        if (n < 1 || n > static_cast<int>(media_.size()) || n <= given_) return std::nullopt;
        given_ = n;
        return media_[n - 1];
    }
private:
    const std::vector<std::string>& media_;
    int given_ = 0;
};

class ProgressObserver : public CheckRunObserver {
public:
    explicit ProgressObserver(bool show) : show_(show) {}
    void mediumStarted(int n, int count, const std::string& path) override {
        if (show_) std::cerr << "\r成果" << n << "枚目をチェック中です・・・ (" << n << "/" << count << ") " << path << "\n";
    }
    void entriesWalked(int64_t entries) override {
        if (show_) std::cerr << "\r  " << entries << " 件" << std::flush;
    }
    void mediumFinished(int, const std::string&) override {
        if (show_) std::cerr << "\r" << std::string(30, ' ') << "\r" << std::flush;
    }
private:
    bool show_;
};

// Sub-folders of folder that hold INDEX_D.XML: the deliveries below a folder given one
// level too high.
std::vector<std::string> deliveriesBelow(const std::string& folder) {
    std::vector<std::string> out;
    Listing l = listFolderNames(folder);
    for (const auto& e : l.entries) {
        if (!e.isDir || e.isHidden) continue;
        const std::string sub = withTrailingSeparator(folder) + e.raw;
        if (resolveRel(sub, "INDEX_D.XML", EntryKind::File)) out.push_back(withTrailingSeparator(sub));
    }
    return out;
}

// The location dialog's refusal of a folder without the survey folder.
constexpr const char* kNoSurveyText =
    "指定したフォルダ内に、測量フォルダ(SURVEY)が見つかりません。\n\n"
    "成果の最上位フォルダ(INDEX_D.XMLが格納されている場所）を指定してください。";

// The media as the location dialog judges them, each given once.
std::optional<int> acceptMedia(const std::vector<std::string>& given, std::vector<std::string>& media,
                               std::vector<uint32_t>& serials) {
    for (const auto& m : given) {
        std::string location = m;
        // A folder that cannot be reached or read would be judged as missing, or as one
        // without INDEX_D.XML and SURVEY; say what the system said instead.
        struct stat st {};
        if (::stat(m.c_str(), &st) != 0 && errno != ENOENT && errno != ENOTDIR)
            return fail(kLocationCaption, systemErrorMessage("指定した場所を確認できません", m, errno));
        if (isFolder(m)) {
            if (Listing l = listFolderNames(m); !l.ok)
                return fail(kLocationCaption, systemErrorMessage("フォルダを読み取れません", m, l.errorNumber));
        }
        // A folder without SURVEY is refused whatever the answer about INDEX_D.XML would
        // be: the refusal comes alone, with the deliveries below it when it is one level
        // too high, and the question is not asked first.
        const bool noSurvey = isFolder(m) && !resolveRel(m, "SURVEY", EntryKind::Folder);
        if (noSurvey || !CheckPath(location)) {
            if (noSurvey) {
                warn(kLocationCaption, kNoSurveyText);
                std::error_code ec;
                const std::filesystem::path abs = std::filesystem::absolute(m, ec);
                if (!ec) location = abs.lexically_normal().string();
            }
            const std::vector<std::string> below = isFolder(location) ? deliveriesBelow(location) : std::vector<std::string>{};
            if (!below.empty()) {
                std::string text = "このフォルダの下のフォルダに INDEX_D.XML があります。成果の最上位フォルダとして、"
                                   "次のフォルダを指定してください:";
                for (const auto& b : below) text += "\n  " + b;
                warn(kLocationCaption, text);
            }
            return kExitCannotRun;
        }
        std::error_code ec;
        std::string canonical = std::filesystem::canonical(fsPath(location), ec).string();
        if (ec) canonical = location;
        canonical = withTrailingSeparator(canonical);
        VolumeInfo info;
        const uint32_t serial = GetVolumeInfo(canonical, info) ? info.serial : 0;
        for (size_t j = 0; j < media.size(); ++j)
            if (media[j] == canonical && serials[j] == serial)
                return fail("成果メディア", "指定した成果は、既にチェックしています。 (" + m + ")");
        media.push_back(canonical);
        serials.push_back(serial);
    }
    return std::nullopt;
}

// The log folder of the run, locked: never a medium's folder, never inside one or
// holding one, never one that another run is using.
std::optional<int> prepareLogFolder(AppState& app, const Options& opt, const std::vector<std::string>& media,
                                    LogFolderLock& lock) {
    const std::string target = opt.logDir.empty() ? app.logPath : opt.logDir;
    if (target.empty())
        return fail("ログフォルダ", (app.logFolderProblem.empty() ? std::string("ログフォルダを作成できません。")
                                                               : app.logFolderProblem) +
                                      "\n--log-dir でログフォルダを指定してください。");
    for (const auto& m : media)
        if (std::string why = logFolderOverlap(target, m); !why.empty())
            return fail("ログフォルダ", why + "\n成果の外のフォルダを --log-dir で指定してください。");
    if (!opt.logDir.empty() && !app.useLogFolder(opt.logDir))
        return fail("ログフォルダ", app.logFolderProblem.empty() ? opt.logDir : app.logFolderProblem);
    if (!lock.acquire(app.logPath)) {
        std::string text = lock.problem();
        if (lock.takenByAnother())
            text += "\n同時に複数のチェックを行うときは、それぞれ別のログフォルダを --log-dir で指定してください。";
        return fail("ログフォルダ", text);
    }
    return std::nullopt;
}

#ifdef QM_HAVE_REPORT
// The report never goes into a medium: not onto its top folder, not below it, whatever
// the spelling (compared by folder identity, links resolved).
std::optional<int> refuseReportOnMedium(const Options& opt, const std::vector<std::string>& media) {
    if (opt.reportPath.empty()) return std::nullopt;
    for (const auto& m : media)
        if (pathLiesWithin(opt.reportPath, m))
            return fail("PDF出力", "報告書のファイルが成果メディアの中にあります: " + opt.reportPath + "（成果: " + m +
                                      "）\n成果の外の場所を --report で指定してください。");
    return std::nullopt;
}
#endif

std::optional<int> readDates(const Options& opt, CheckRunInput& in) {
    if (!opt.from && !opt.to) return std::nullopt;
    if (!opt.to) return fail("ファイル更新日", "--to がありません。チェック期間は --from と --to の両方で指定してください。");
    if (!opt.from) return fail("ファイル更新日", "--from がありません。チェック期間は --from と --to の両方で指定してください。");
    std::string warning;
    if (auto e = parseDate(*opt.from, true, in.dateS, warning)) return fail(*e);
    if (!warning.empty()) warn("ファイル更新日", warning);
    if (auto e = parseDate(*opt.to, false, in.dateE, warning)) return fail(*e);
    if (!warning.empty()) warn("ファイル更新日", warning);
    auto ymd = [](const int16_t d[3]) { return int32_t(d[0]) * 10000 + int32_t(d[1]) * 100 + d[2]; };
    if (ymd(in.dateS) > ymd(in.dateE))
        warn("ファイル更新日", "開始日 " + *opt.from + " が終了日 " + *opt.to +
                                   " より後です。指定どおりにチェックします（すべてのファイルが期間外になります）。");
    return std::nullopt;
}

std::optional<int> readProcesses(const Options& opt, int16_t type, const std::string& first, ProcessFlags& flags,
                                 std::string& note) {
    if (opt.processes) {
        const std::string& list = *opt.processes;
        size_t pos = 0;
        while (!list.empty()) {
            const size_t comma = list.find(',', pos);
            const std::string code =
                upperAscii(trimBlanks(list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos)));
            const int idx = ProcessFlags::indexOf(code);
            if (!code.empty()) {
                if (idx < 0 || !selectable(type, idx))
                    return fail("工程", "不明な工程です: " + code + "（工程コードは quillmark-check --help をご覧ください）");
                flags.flag[idx] = 1;
            }
            if (comma == std::string::npos) break;
            pos = comma + 1;
        }
        return std::nullopt;
    }
    ProcessFlags judged;
    if (!JudgeProcess(type, first, judged)) {
        // The run window would show no process ticked for the user to correct; here the
        // folder names are what can still be told.
        JudgeProcessFromFolders(first, judged);
        note = "SURV_TSK.XML を読み込めないため、工程を判定できません。SURVEY\\TISEKI\\DATA のフォルダ名から判定した"
               "工程でチェックします。--processes で工程を指定してください。";
        warn("工程", note);
    }
    for (int i = 0; i < 14; ++i)
        if (selectable(type, i)) flags.flag[i] = judged.flag[i];
    return std::nullopt;
}

// The setting folder: --setting-dir, else Setting beside the program (the build folder,
// or the installed program folder).
std::optional<int> chooseSettingFolder(AppState& app, const Options& opt) {
    if (!opt.settingDir.empty()) app.settingPath = withTrailingSeparator(opt.settingDir);
    if (!isFolder(app.settingPath))
        return fail("設定フォルダ", "設定フォルダが見つかりません: " + app.settingPath +
                                        "\n--setting-dir で設定テーブルのフォルダを指定してください。");
    return std::nullopt;
}

int run(const Options& opt, const char* argv0) {
    CliMessageSink sink;
    setMessageSink(&sink);

    AppState app;
    gApp = &app;
    app.startUp(programFolder(argv0));
    if (auto rc = chooseSettingFolder(app, opt)) return *rc;

    CheckRunInput in;
    if (auto rc = readDates(opt, in)) return *rc;
    if (!CheckXmlParser()) return fail("XMLPerser", "XMLパーサーを利用できません。");

    std::vector<std::string> media;
    std::vector<uint32_t> serials;
    if (auto rc = acceptMedia(opt.media, media, serials)) return *rc;
    const std::string& first = media.front();

#ifdef QM_HAVE_REPORT
    if (auto rc = refuseReportOnMedium(opt, media)) return *rc;
#endif
    LogFolderLock lock;
    if (auto rc = prepareLogFolder(app, opt, media, lock)) return *rc;

    // The judging below and the run read the same management files: parse each once.
    XmlCacheScope xmlCache;

    // What medium 1 says about the delivery.
    int16_t mediaCount = 1, mediumNo = 1;
    const std::string indexFile = managementFile(first, "INDEX_D.XML");
    bool indexRead = false;
    if (isPlainFile(indexFile)) {
        indexRead = JudgeMediaNum(indexFile, mediaCount, mediumNo);
        if (!indexRead) warn("成果チェック", "業務管理ファイル(INDEX_D.XML)の読み込みに失敗しました。");
    }
    if (mediaCount < 1 || mediaCount > 999) mediaCount = 1;
    if (indexRead && mediumNo != 1)
        warn("成果チェック", "指定した成果は、１枚目ではありません（INDEX_D.XMLのメディア番号 " + std::to_string(mediumNo) + "）。");
    if (mediaCount > static_cast<int>(media.size()))
        warn("成果チェック", "INDEX_D.XMLのメディア総枚数は " + std::to_string(mediaCount) + " 枚ですが、指定されたフォルダは " +
                                 std::to_string(media.size()) + " 件です。");

    const int16_t type =
        opt.type ? static_cast<int16_t>(*opt.type) : JudgeResultType(managementFile(first, "SURVEY\\SURVEY.XML"));
    if (type != 1 && type != 2)
        return fail("成果内容", "成果内容を指定してください。（SURVEY.XMLの適用要領基準から判定できません。--type 1 または "
                                "--type 2 を指定してください）");

    std::string processNote;
    if (auto rc = readProcesses(opt, type, first, in.flags, processNote)) return *rc;

    const std::vector<SettingTableProblem> missingTables = missingSettingTables(app.settingPath, type);
    std::vector<std::string> problems;
    for (const auto& p : missingTables) {
        warn("設定テーブル", p.message);
        problems.push_back(p.message);
    }

    in.resultType = type;
    in.mediaNum = static_cast<int16_t>(media.size());
    in.handedPath = first;
    in.handedSerial = serials.front();

    FolderListLocator locator(media);
    ProgressObserver progress(isatty(STDERR_FILENO) && !opt.json);
    std::signal(SIGINT, onInterrupt);
    app.stop.store(false);
    std::vector<MediumRecord> records;
    cli::DocListReport docList(opt.doclist || opt.json, app, type, in.flags, &progress);  // deliverables list
    const int16_t result = runCheckAll(app, in, locator, records, &docList);
    std::signal(SIGINT, SIG_DFL);
    if (result < 0) return fail("Quillmark", "中断しました。");

    for (const auto& f : logFailures()) problems.push_back("ログファイルを書き込めません: " + f);
    RunSummary summary = readRunSummary(app.logPath, type, in.mediaNum);
    {
        std::vector<std::string> paths;
        for (const auto& r : records) paths.push_back(r.path);
        markUnreadManagementFiles(summary, paths);
    }
    for (const auto& p : missingTables)
        for (auto& m : summary.media)
            for (auto& t : m.types)
                if (t.key == p.table.checkKey && t.failure.empty()) {
                    t.failure = p.message;
                    m.anyLog = true;
                }

    Report report;
    report.summary = &summary;
    report.media = &records;
    report.logPath = app.logPath;
    report.processes = in.flags.codes();
    report.processNote = processNote;
    report.problems = problems;
    if (opt.json) report.extraJson = docList.jsonMember();  // deliverables list
    if (opt.json) std::cout << jsonReport(report);
    else printText(std::cout, report);
    if (!opt.json) printImageSection(std::cout, records);  // media given as disc images
    if (opt.doclist && !opt.json) docList.printText(std::cout);  // deliverables list
    std::cout.flush();
#ifdef QM_HAVE_REPORT
    if (!opt.reportPath.empty()) {  // neither the logs nor the exit status change
        std::string why;
        if (!writeReport(opt.reportPath, summary, records, first, why))
            std::cerr << "PDF出力: " << opt.reportPath << ": " << why << "\n";
    }
#endif
    if (!problems.empty()) {
        warn("成果チェック", "チェックを正しく行えなかったため、結果は成果の判定になりません。");
        return kExitCannotRun;
    }
    return summary.anyFinding ? kExitFindings : kExitClean;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // A check builds large trees of small objects (the documents, the listings, the
    // indexes) and frees them whole. Freed small blocks are put back at once rather than
    // gathered in fast bins that every large free then has to sweep, and the heap is
    // grown in larger steps and not trimmed between the steps of the run.
    mallopt(M_MXFAST, 0);
    mallopt(M_TOP_PAD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    Options opt;
    if (auto e = parseArguments(std::vector<std::string>(argv + 1, argv + argc), opt)) return fail(*e);
    if (opt.help) {
        std::cout << helpText();
        return kExitClean;
    }
    if (opt.helpMan) {
        std::cout << manSectionsText();
        return kExitClean;
    }
    if (opt.version) {
        std::cout << versionText();
        return kExitClean;
    }
    if (opt.media.empty()) {
        std::cerr << usageText();
        return fail(kLocationCaption, "チェックを行う場所を指定してください。");
    }
    if (opt.media.size() > 999) return fail("成果メディア枚数", "成果メディア枚数は1～999の範囲で入力してください。");
    return run(opt, argv[0]);
}
