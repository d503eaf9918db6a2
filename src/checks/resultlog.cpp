#include "checks/resultlog.h"

#include "checks/checkrun.h"
#include "foundation/csvread.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"

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

std::vector<LoggedFinding> readLogFindings(const std::string& file, bool isStructure, const char* routine) {
    std::vector<LoggedFinding> out;
    CCsvRead csv;
    if (!csv.OpenFile(file)) return out;
    try {
        while (!csv.IsEof()) {
            csv.ReadFile(true);
            std::string first = csv.ItemValue(0);
            if (!first.empty() && first[0] == ';') continue;
            LoggedFinding f;
            f.number = toNumber(first);
            f.place = csv.ItemValue(1);
            if (isStructure) {
                f.message = csv.ItemValue(2);
            } else {
                f.occurrence = toNumber(csv.ItemValue(2));
                f.message = csv.ItemValue(3);
            }
            out.push_back(std::move(f));
        }
    } catch (const CsvError& e) {
        showFailure(routine, e.number(), e.what());
    }
    return out;
}

RunSummary readRunSummary(const std::string& logPath, int resultType, int mediaNum) {
    RunSummary s;
    s.resultType = resultType;
    for (const auto& t : kCheckTypes)
        if (!findEntries(logPath, std::string(t.prefix) + "*.log", EntryKind::File).empty()) s.anyFinding = true;
    if (!findEntries(logPath, "*000.log", EntryKind::File).empty()) s.anyFinding = true;

    for (int n = 1; n <= mediaNum + 1; ++n) {
        MediumResult m;
        m.number = n <= mediaNum ? n : 0;
        m.label = m.number ? "成果" + std::to_string(n) + "枚目" : "成果全体";
        const std::string nnn = mediumNumberText(m.number);
        for (size_t k = 0; k < kCheckTypes.size(); ++k) {
            if (m.number == 0 && k > 0) break;
            CheckTypeResult t;
            t.key = kCheckTypes[k].key;
            t.label = kCheckTypes[k].label;
            std::string file = findLogFile(logPath, std::string(kCheckTypes[k].prefix) + nnn + ".log");
            t.hasLog = !file.empty();
            if (t.hasLog) {
                m.anyLog = true;
                t.findings = readLogFindings(file, k == 0);
            }
            m.types.push_back(std::move(t));
        }
        s.media.push_back(std::move(m));
    }
    return s;
}

}  // namespace qm
