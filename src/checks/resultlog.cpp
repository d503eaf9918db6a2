#include "checks/resultlog.h"

#include "checks/checkrun.h"
#include "checks/inspection.h"
#include "foundation/appstate.h"
#include "foundation/csvread.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"

#include <utility>

namespace qm {

const std::array<CheckTypeInfo, 4> kCheckTypes = {{
    {"Folder", "フォルダ・ファイル構成", "FolderCheck_", "フォルダ・ファイル構成チェック結果"},
    {"Index", "業務管理ファイル (INDEX_D.XML)", "JobFileCheck_IND_", "業務管理ファイルチェック結果"},
    {"Survey", "測量情報管理ファイル (SURVEY.XML)", "JobFileCheck_SUV_", "測量情報管理ファイルチェック結果"},
    {"Surv_Tsk", "地籍調査成果管理ファイル (SURV_TSK.XML)", "JobFileCheck_TSK_", "地籍調査成果情報管理ファイルチェック結果"},
}};

std::string LoggedFinding::location() const {
    if (occurrence < 2) return place;
    return place + "(" + std::to_string(occurrence) + "番目)";
}

std::string findLogFile(const std::string& logPath, const std::string& name) {
    if (logPath.empty()) return "";
    auto found = findEntries(logPath, name, EntryKind::File);
    if (found.empty()) return "";
    return withTrailingSeparator(logPath) + found.front().raw;
}

std::vector<LoggedFinding> readLogFindings(const std::string& file, bool isStructure, const char* routine,
                                           LogFields fields) {
    std::vector<LoggedFinding> out;
    CCsvRead csv;
    if (!csv.OpenFile(file)) return out;
    try {
        while (!csv.IsEof()) {
            csv.ReadFile(fields == LogFields::Trimmed);
            std::string first = csv.ItemValue(0);
            if (!first.empty() && first[0] == ';') continue;
            LoggedFinding f;
            f.number = toNumber(first);
            f.place = csv.ItemValue(1);
            if (isStructure) {
                f.message = csv.ItemValue(2);
                f.item = csv.ItemValue(3);
            } else {
                f.occurrence = toNumber(csv.ItemValue(2));
                f.message = csv.ItemValue(3);
                f.item = csv.ItemValue(4);
            }
            out.push_back(std::move(f));
        }
    } catch (const CsvError& e) {
        showFailure(routine, e.number(), e.what());
    }
    return out;
}

namespace {

// Whether the log named name in logPath is one that could not be written.
bool failedLog(const std::vector<std::string>& failures, const std::string& logPath, const std::string& name) {
    const std::string folder = withTrailingSeparator(logPath);
    for (const auto& f : failures) {
        if (f.size() != folder.size() + name.size() || f.compare(0, folder.size(), folder) != 0) continue;
        if (upperAscii(f.substr(folder.size())) == upperAscii(name)) return true;
    }
    return false;
}

}  // namespace

MediumResult readMediumResult(const std::string& logPath, int number, LogFields fields) {
    const std::vector<std::string> failures = logFailures();
    MediumResult m;
    m.number = number;
    m.label = number ? "成果" + std::to_string(number) + "枚目" : "成果全体";
    const std::string nnn = mediumNumberText(number);
    for (size_t k = 0; k < kCheckTypes.size(); ++k) {
        if (number == 0 && k > 0) break;
        CheckTypeResult t;
        t.key = kCheckTypes[k].key;
        t.label = kCheckTypes[k].label;
        const std::string name = std::string(kCheckTypes[k].prefix) + nnn + ".log";
        const std::string file = findLogFile(logPath, name);
        t.hasLog = !file.empty();
        if (failedLog(failures, logPath, name)) {
            t.failure = "ログファイルを書き込めません: " + withTrailingSeparator(logPath) + name;
            m.anyLog = true;
        }
        if (t.hasLog) {
            m.anyLog = true;
            t.findings = readLogFindings(file, k == 0, "ReadLogFile", fields);
        }
        m.types.push_back(std::move(t));
    }
    return m;
}

bool anyRunLog(const std::string& logPath) {
    // Only logs of a run count: a folder the user named may hold other "*.log" files.
    for (const auto& e : findEntries(logPath, "*.log", EntryKind::File))
        if (isRunLogName(e.name)) return true;
    return false;
}

bool mediumHasLog(const std::string& logPath, int number) {
    if (number == 0) return !findEntries(logPath, "*000.log", EntryKind::File).empty();
    const std::string nnn = mediumNumberText(number);
    for (const auto& t : kCheckTypes)
        if (!findLogFile(logPath, std::string(t.prefix) + nnn + ".log").empty()) return true;
    return false;
}

RunSummary readRunSummary(const std::string& logPath, int resultType, int mediaNum) {
    RunSummary s;
    s.resultType = resultType;
    s.anyFinding = anyRunLog(logPath);
    for (int n = 1; n <= mediaNum + 1; ++n) {
        s.media.push_back(readMediumResult(logPath, n <= mediaNum ? n : 0, LogFields::Exact));
        for (const auto& t : s.media.back().types)
            if (!t.failure.empty()) s.anyLogFailure = true;
    }
    return s;
}

std::optional<EntryPlace> entryOfLoggedPlace(const std::string& mediumTop, const std::string& place) {
    if (place.empty()) return std::nullopt;
    EntryPlace found;
    std::string folder = withTrailingSeparator(mediumTop);
    for (size_t from = 0; from <= place.size();) {
        size_t end = place.find('\\', from);
        if (end == std::string::npos) end = place.size();
        const std::string component = place.substr(from, end - from);
        const Listing listing = listFolderNames(folder);
        if (!listing.ok) return std::nullopt;
        const DirEntry* match = nullptr;
        for (const DirEntry& e : listing.entries) {
            if (cp932HeldText(e.name) != component) continue;
            if (match) return std::nullopt;  // two entries that the log writes alike
            match = &e;
        }
        if (!match) return std::nullopt;
        if (!found.name.empty()) {
            found.name += '\\';
            found.raw += '\\';
        }
        found.name += match->name;
        found.raw += match->raw;
        if (end == place.size()) break;
        if (!match->isDir) return std::nullopt;
        folder = withTrailingSeparator(folder + match->raw);
        from = end + 1;
    }
    return found;
}

void markUnreadManagementFiles(RunSummary& summary, const std::vector<std::string>& mediumPaths) {
    static const std::pair<const char*, const char*> kFiles[] = {
        {"Index", "INDEX_D.XML"}, {"Survey", "SURVEY\\SURVEY.XML"}, {"Surv_Tsk", "SURVEY\\TISEKI\\SURV_TSK.XML"}};
    for (MediumResult& m : summary.media) {
        if (m.number < 1 || m.number > static_cast<int>(mediumPaths.size()) || m.types.empty()) continue;
        const std::vector<LoggedFinding>& walked = m.types.front().findings;  // the folder log
        for (CheckTypeResult& t : m.types) {
            for (const auto& [key, rel] : kFiles) {
                if (t.key != key || !t.failure.empty()) continue;
                if (isPlainFile(managementFile(mediumPaths[m.number - 1], rel))) continue;
                const std::string file = rel;
                for (const LoggedFinding& f : walked) {
                    if (f.number != kUnreadableCode) continue;
                    const std::string place = upperAscii(f.place);
                    if (!place.empty() && file != place && file.compare(0, place.size() + 1, place + "\\") != 0)
                        continue;
                    t.failure = "フォルダを読み取れないため、管理ファイルをチェックできませんでした: " +
                                (f.place.empty() ? std::string("（成果の最上位フォルダ）") : f.place);
                    m.anyLog = true;
                    break;
                }
            }
        }
    }
}

}  // namespace qm
