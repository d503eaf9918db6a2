// quillmark-check: the headless check of a delivery.
//
//   quillmark-check [--type 1|2] [--processes C,D,...] [--from Y-M-D --to Y-M-D]
//                   [--setting-dir DIR] [--log-dir DIR] [--json] [--doclist] MEDIUM...
//
// One folder per medium, medium 1 first. Exit status: 0 nothing found, 1 findings,
// 2 the check could not be run.
#include "checks/checkrun.h"
#include "cli/doclist_report.h"  // deliverables list
#include "checks/inspection.h"
#include "checks/resultlog.h"
#include "checks/xmldoc.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"

#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace qm;

constexpr int kExitClean = 0;
constexpr int kExitFindings = 1;
constexpr int kExitCannotRun = 2;

AppState* gApp = nullptr;

extern "C" void onInterrupt(int) {
    if (gApp) gApp->stop.store(true);
    std::signal(SIGINT, SIG_DFL);  // a second interrupt ends the program at once
}

void usage(std::ostream& out) {
    out << "使い方: quillmark-check [--type 1|2] [--processes C,D,...] [--from Y-M-D --to Y-M-D]\n"
           "                        [--setting-dir DIR] [--log-dir DIR] [--json] [--doclist] MEDIUM...\n"
           "  MEDIUM       成果メディアの最上位フォルダ（INDEX_D.XMLのある場所）。1枚目から順に指定します。\n"
           "  --type       成果内容 1=地籍調査 2=官民境界等先行調査（省略時はSURVEY.XMLから判定）\n"
           "  --processes  チェックする工程（省略時は成果から判定、空文字列で工程なし）\n"
           "  --from/--to  ファイル更新日のチェック期間\n"
           "  --json       結果をJSONで出力します（成果一覧を含みます）\n"
           "  --doclist    チェックの後に成果一覧（地区・工程・成果名・有無）を出力します\n"
           "終了コード: 0 エラーなし, 1 エラー検出, 2 チェックできません\n";
}

int fail(const std::string& caption, const std::string& text) {
    std::cerr << caption << ": " << text << "\n";
    return kExitCannotRun;
}

struct Options {
    std::optional<int> type;
    std::optional<std::string> processes;
    std::optional<std::string> from, to;
    std::string settingDir, logDir;
    bool json = false;
    bool doclist = false;  // deliverables list
    std::vector<std::string> media;
};

// Y-M-D with digits only in each part, as the run window's date boxes accept them.
bool parseDate(const std::string& text, int16_t out[3], bool start, std::string& error) {
    static const char* kEmpty[2][3] = {{"終了年を入力してください。", "終了月を入力してください。", "終了日を入力してください。"},
                                       {"開始年を入力してください。", "開始月を入力してください。", "開始日を入力してください。"}};
    static const char* kDigits[2][3] = {
        {"終了年は数字で入力してください。", "終了月は数字で入力してください。", "終了日は数字で入力してください。"},
        {"開始年は数字で入力してください。", "開始月は数字で入力してください。", "開始日は数字で入力してください。"}};
    std::string parts[3];
    int k = 0;
    for (char c : text) {
        if (c == '-' && k < 2) { ++k; continue; }
        parts[k] += c;
    }
    const size_t limits[3] = {4, 2, 2};
    for (int i = 0; i < 3; ++i) {
        if (parts[i].empty()) { error = kEmpty[start][i]; return false; }
        if (!IsDigits(parts[i]) || parts[i].size() > limits[i]) { error = kDigits[start][i]; return false; }
        out[i] = static_cast<int16_t>(toNumber(parts[i]));
    }
    return true;
}

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
        n_ = n; count_ = count;
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
    int n_ = 0, count_ = 0;
};

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

const char* mark(bool ok) { return ok ? "○" : "×"; }

std::string verdictText(bool anyFinding) {
    return anyFinding ? "チェックの結果、エラーが検出されました。" : "チェックの結果、エラーは検出されませんでした。";
}

void printText(const RunSummary& s, const std::vector<MediumRecord>& media, const std::string& logPath,
               const ProcessFlags& flags) {
    std::cout << "成果種類: " << GetResultTypeName(s.resultType) << "\n";
    std::cout << "工程: " << (flags.any() ? flags.codes() : "(なし)") << "\n";
    std::cout << "チェック結果: " << verdictText(s.anyFinding) << "\n";
    std::cout << "ログフォルダ: " << logPath << "\n";
    for (const auto& m : s.media) {
        std::cout << "\n" << m.label << " " << mark(!m.anyLog);
        if (m.number > 0 && m.number <= static_cast<int>(media.size())) std::cout << "  " << media[m.number - 1].path;
        std::cout << "\n";
        for (const auto& t : m.types) {
            std::cout << "  " << mark(t.ok()) << " " << t.label << "\n";
            for (const auto& f : t.findings)
                std::cout << "      " << f.location() << "\t" << f.message << "\n";
        }
    }
}

void printJson(const RunSummary& s, const std::vector<MediumRecord>& media, const std::string& logPath,
               const ProcessFlags& flags, const std::string& docListMember) {
    std::string o = "{\n";
    o += "  \"resultType\": " + std::to_string(s.resultType) + ",\n";
    o += "  \"resultTypeName\": " + jsonString(GetResultTypeName(s.resultType)) + ",\n";
    o += "  \"processes\": " + jsonString(flags.codes()) + ",\n";
    o += "  \"anyFinding\": " + std::string(s.anyFinding ? "true" : "false") + ",\n";
    o += "  \"verdict\": " + jsonString(verdictText(s.anyFinding)) + ",\n";
    o += "  \"logFolder\": " + jsonString(logPath) + ",\n";
    o += "  \"media\": [";
    for (size_t i = 0; i < s.media.size(); ++i) {
        const auto& m = s.media[i];
        o += i ? ",\n    {" : "\n    {";
        o += "\"number\": " + std::to_string(m.number) + ", \"label\": " + jsonString(m.label);
        if (m.number > 0 && m.number <= static_cast<int>(media.size())) {
            const auto& r = media[m.number - 1];
            o += ", \"path\": " + jsonString(r.path) + ", \"driveType\": " + std::to_string(r.driveType) +
                 ", \"volumeSerial\": " + std::to_string(r.volumeNo);
        }
        o += ", \"result\": " + jsonString(mark(!m.anyLog)) + ", \"checks\": [";
        for (size_t k = 0; k < m.types.size(); ++k) {
            const auto& t = m.types[k];
            o += k ? ",\n      {" : "\n      {";
            o += "\"key\": " + jsonString(t.key) + ", \"label\": " + jsonString(t.label) +
                 ", \"result\": " + jsonString(mark(t.ok())) + ", \"findings\": [";
            for (size_t j = 0; j < t.findings.size(); ++j) {
                const auto& f = t.findings[j];
                o += j ? ",\n        {" : "\n        {";
                o += "\"code\": " + std::to_string(f.number) + ", \"location\": " + jsonString(f.location()) +
                     ", \"place\": " + jsonString(f.place) + ", \"occurrence\": " + std::to_string(f.occurrence) +
                     ", \"message\": " + jsonString(f.message) + "}";
            }
            o += t.findings.empty() ? "]}" : "\n      ]}";
        }
        o += "\n    ]}";
    }
    o += "\n  ]" + docListMember + "\n}\n";
    std::cout << o;
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
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            (void)name;
            return args[++i];
        };
        if (a == "-h" || a == "--help") { usage(std::cout); return kExitClean; }
        if (a == "--json") { opt.json = true; continue; }
        if (a == "--doclist") { opt.doclist = true; continue; }  // deliverables list
        if (a == "--type" || a == "--processes" || a == "--from" || a == "--to" || a == "--setting-dir" || a == "--log-dir") {
            auto v = value(a.c_str());
            if (!v) { usage(std::cerr); return fail("quillmark-check", a + " に値がありません。"); }
            if (a == "--type") {
                if (*v != "1" && *v != "2") return fail("成果内容", "--type は 1（地籍調査）か 2（官民境界等先行調査）で指定してください。");
                opt.type = std::stoi(*v);
            } else if (a == "--processes") opt.processes = *v;
            else if (a == "--from") opt.from = *v;
            else if (a == "--to") opt.to = *v;
            else if (a == "--setting-dir") opt.settingDir = *v;
            else opt.logDir = *v;
            continue;
        }
        if (a.size() > 1 && a[0] == '-' && a != "-") { usage(std::cerr); return fail("quillmark-check", "不明なオプションです: " + a); }
        opt.media.push_back(a);
    }
    if (opt.media.empty()) { usage(std::cerr); return fail("成果ファイル場所", "チェックを行う場所を指定してください。"); }
    if (opt.media.size() > 999) return fail("成果メディア枚数", "成果メディア枚数は1～999の範囲で入力してください。");

    StderrMessageSink sink;
    setMessageSink(&sink);

    AppState app;
    gApp = &app;
    app.startUp(programFolder(argv[0]));
    if (!opt.settingDir.empty()) app.settingPath = withTrailingSeparator(opt.settingDir);
    if (!opt.logDir.empty() && !app.useLogFolder(opt.logDir))
        return fail("ログフォルダ", app.logFolderProblem.empty() ? opt.logDir : app.logFolderProblem);
    if (app.logPath.empty())
        return fail("ログフォルダ", app.logFolderProblem.empty() ? "ログフォルダを作成できません。" : app.logFolderProblem);
    if (!CheckXmlParser()) return fail("XMLPerser", "XMLパーサーを利用できません。");

    // Media: existing folders, each given once.
    std::vector<std::string> media;
    std::vector<uint32_t> serials;
    for (const auto& m : opt.media) {
        std::error_code ec;
        if (!std::filesystem::is_directory(m, ec)) return fail("成果ファイル場所", "フォルダが見つかりません: " + m);
        std::string canonical = std::filesystem::canonical(m, ec).string();
        if (ec) canonical = m;
        canonical = withTrailingSeparator(canonical);
        VolumeInfo info;
        uint32_t serial = GetVolumeInfo(canonical, info) ? info.serial : 0;
        for (size_t j = 0; j < media.size(); ++j)
            if (media[j] == canonical && serials[j] == serial)
                return fail("成果メディア", "指定した成果は、既にチェックしています。 (" + m + ")");
        media.push_back(canonical);
        serials.push_back(serial);
    }
    const std::string& first = media.front();

    // The judging below and the run read the same management files: parse each once.
    XmlCacheScope xmlCache;

    // What medium 1 says about the delivery.
    int16_t mediaCount = 1, mediumNo = 1;
    std::string indexFile = managementFile(first, "INDEX_D.XML");
    bool indexRead = false;
    if (isPlainFile(indexFile)) {
        indexRead = JudgeMediaNum(indexFile, mediaCount, mediumNo);
        if (!indexRead) std::cerr << "成果チェック: 業務管理ファイル(INDEX_D.XML)の読み込みに失敗しました。\n";
    }
    if (mediaCount < 1 || mediaCount > 999) mediaCount = 1;
    if (indexRead && mediumNo != 1)
        std::cerr << "成果チェック: 指定した成果は、１枚目ではありません（INDEX_D.XMLのメディア番号 " << mediumNo << "）。\n";
    if (mediaCount > static_cast<int>(media.size()))
        std::cerr << "成果チェック: INDEX_D.XMLのメディア総枚数は " << mediaCount << " 枚ですが、指定されたフォルダは "
                  << media.size() << " 件です。\n";

    int16_t type = opt.type ? static_cast<int16_t>(*opt.type) : JudgeResultType(managementFile(first, "SURVEY\\SURVEY.XML"));
    if (type != 1 && type != 2)
        return fail("成果内容", "成果内容を指定してください。（SURVEY.XMLの適用要領基準から判定できません。--type 1 または --type 2 を指定してください）");

    ProcessFlags flags;
    if (opt.processes) {
        std::string list = *opt.processes;
        size_t pos = 0;
        while (pos <= list.size() && !list.empty()) {
            size_t comma = list.find(',', pos);
            std::string code = upperAscii(trimBlanks(list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos)));
            int idx = ProcessFlags::indexOf(code);
            if (!code.empty()) {
                if (idx < 0 || !selectable(type, idx)) return fail("工程", "不明な工程です: " + code);
                flags.flag[idx] = 1;
            }
            if (comma == std::string::npos) break;
            pos = comma + 1;
        }
    } else {
        ProcessFlags judged;
        JudgeProcess(type, first, judged);
        for (int i = 0; i < 14; ++i)
            if (selectable(type, i)) flags.flag[i] = judged.flag[i];
    }

    CheckRunInput in;
    in.resultType = type;
    in.mediaNum = static_cast<int16_t>(media.size());
    in.flags = flags;
    if (opt.from || opt.to) {
        std::string error;
        if (!opt.from) return fail("ファイル更新日", "開始年を入力してください。");
        if (!opt.to) return fail("ファイル更新日", "終了年を入力してください。");
        if (!parseDate(*opt.from, in.dateS, true, error)) return fail("ファイル更新日", error);
        if (!parseDate(*opt.to, in.dateE, false, error)) return fail("ファイル更新日", error);
    }
    in.handedPath = first;
    in.handedSerial = serials.front();

    FolderListLocator locator(media);
    ProgressObserver progress(isatty(STDERR_FILENO) && !opt.json);
    std::signal(SIGINT, onInterrupt);
    app.stop.store(false);
    std::vector<MediumRecord> records;
    cli::DocListReport docList(opt.doclist || opt.json, app, type, flags, &progress);  // deliverables list
    int16_t result = runCheckAll(app, in, locator, records, &docList);
    std::signal(SIGINT, SIG_DFL);
    if (result < 0) {
        std::cerr << "Quillmark: 中断しました。\n";
        return kExitCannotRun;
    }

    RunSummary summary = readRunSummary(app.logPath, type, in.mediaNum);
    if (opt.json) printJson(summary, records, app.logPath, flags, docList.jsonMember());
    else printText(summary, records, app.logPath, flags);
    if (opt.doclist && !opt.json) docList.printText(std::cout);  // deliverables list
    return summary.anyFinding ? kExitFindings : kExitClean;
}
