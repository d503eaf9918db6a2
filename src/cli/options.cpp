// The option table of quillmark-check, its parser and its help.
#include "cli/options.h"

#include <iterator>
#include <sstream>

#ifndef QM_VERSION
#define QM_VERSION "unknown"
#endif

namespace qmcli {

namespace {

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The processes of each result type, in the order of the run window's check boxes.
struct ProcessName { const char* code; const char* name; };
constexpr ProcessName kCadastral[] = {
    {"C", "地籍図根三角測量"},  {"D", "地籍図根多角測量"},     {"E", "一筆地調査"},
    {"F1", "FⅠ 細部図根測量"}, {"F2", "FⅡ 一筆地測量"},      {"G", "地積測定"},
    {"PA", "対空標識の設置"},   {"PB", "空中写真撮影"},         {"PC", "標定点測量"},
    {"PD", "空中三角測量（航測法）"}, {"PE", "空中三角測量（併用法）"}, {"PF", "図化"},
    {"FR", "現況測量・復元測量"}, {"H", "地籍図及び地籍簿の作成"}};
constexpr ProcessName kPreliminary[] = {
    {"C", "地籍図根三角測量"},        {"D", "地籍図根多角測量"},
    {"E", "E' 先行筆界点調査"},       {"F1", "F'Ⅰ 細部図根測量"},
    {"F2", "F'Ⅱ 先行筆界点測量及び街区調査図原図作成"}, {"G", "G' 街区面積計算"},
    {"FR", "現況測量・復元測量"},     {"H", "H' 街区調査図及び街区整理簿の作成"}};

std::optional<CliError> setDir(std::string& field, const char* name, const std::string& v) {
    if (v.empty()) return CliError{"quillmark-check", std::string(name) + " にフォルダを指定してください。", true};
    field = v;
    return std::nullopt;
}

}  // namespace

const std::vector<OptionSpec>& optionTable() {
    static const std::vector<OptionSpec> table = {
        {"--type", nullptr, "1|2", "成果内容 1=地籍調査 2=官民境界等先行調査（省略時は SURVEY.XML の適用要領基準から判定）",
         [](Options& o, const std::string& v) -> std::optional<CliError> {
             if (v != "1" && v != "2")
                 return CliError{"成果内容", "--type は 1（地籍調査）か 2（官民境界等先行調査）で指定してください。"};
             o.type = v == "1" ? 1 : 2;
             return std::nullopt;
         },
         "成果内容。1 = 地籍調査、2 = 官民境界等先行調査。省略時は 1 枚目の SURVEY\\SURVEY.XML の適用要領基準から判定します。"},
        {"--processes", nullptr, "C,D,...",
         "チェックする工程をコンマ区切りで（省略時は成果から判定、\"\" で工程なし。工程コードは下記）",
         [](Options& o, const std::string& v) -> std::optional<CliError> {
             o.processes = v;
             return std::nullopt;
         },
         "チェックする工程をコンマ区切りで指定します（工程コードは下記 PROCESS CODES）"
         "。\"\" で工程なし。省略時は SURVEY\\TISEKI\\DATA のフォルダ名と SURV_TSK.XML から判定します。"
         "SURV_TSK.XML を読み込めないときはフォルダ名だけから判定し、その旨を表示します。"},
        {"--from", nullptr, "Y-M-D", "ファイル更新日のチェック期間の開始日（--to と組で指定）",
         [](Options& o, const std::string& v) -> std::optional<CliError> {
             o.from = v;
             return std::nullopt;
         },
         "ファイル更新日のチェック期間の開始日。--to と両方を指定します。各部分は数字の並びです（例 2017-4-1）"
         "。暦にない日付や、開始日が終了日より後の期間は、警告を表示して指定どおりにチェックします。"},
        {"--to", nullptr, "Y-M-D", "ファイル更新日のチェック期間の終了日（--from と組で指定）",
         [](Options& o, const std::string& v) -> std::optional<CliError> {
             o.to = v;
             return std::nullopt;
         },
         "ファイル更新日のチェック期間の終了日。--from と両方を指定します。"},
        {"--setting-dir", nullptr, "DIR", "設定テーブルのフォルダ（省略時はプログラムと同じ場所の Setting）",
         [](Options& o, const std::string& v) { return setDir(o.settingDir, "--setting-dir", v); },
         "設定テーブルのフォルダ。省略時はプログラムと同じ場所の Setting（インストールしたときはプログラムフォルダ lib/quillmark/Setting）"
         "。設定フォルダがないときは終了コード 2 で終わり、設定テーブルがないときはその名前を表示して結果を示しますが、"
         "成果の判定にはなりません（終了コード 2）。"},
        {"--log-dir", nullptr, "DIR", "チェックログを書き出すフォルダ（下記「チェックログ」参照）",
         [](Options& o, const std::string& v) { return setDir(o.logDir, "--log-dir", v); },
         "チェックログを書き出すフォルダ（下記 LOGS）。成果メディアのフォルダ、その中のフォルダ、"
         "成果メディアを含むフォルダは指定できません。"},
        {"--json", nullptr, nullptr, "結果を JSON（UTF-8）で標準出力に書き出します",
         [](Options& o, const std::string&) -> std::optional<CliError> {
             o.json = true;
             return std::nullopt;
         },
         "結果を一つの JSON 文書（UTF-8）で標準出力に書き出します。UTF-8 でないバイトを含むパスは U+FFFD に置き換え、"
         "元のバイトを 16 進で pathBytes などの欄に添えます。成果一覧は docList として常に含まれます。"},
        {"--doclist", nullptr, nullptr, "チェックの後に成果一覧（地区・工程・成果名・有無）を出力します（--json には常に含まれます）",
         [](Options& o, const std::string&) -> std::optional<CliError> {
             o.doclist = true;
             return std::nullopt;
         },
         "チェックの後に成果一覧を出力します。最後の成果の地区ごとに、各工程の成果（DocList_C.txt / DocList_S.txt）"
         "を、どれかの成果メディアにファイルがあれば ○、なければ × で示し、続けてその他データとドキュメントを示します。"},
        {"--report", nullptr, "FILE.pdf", "チェック結果の報告書を PDF ファイルに書き出します（ログと終了コードは変わりません）",
         [](Options& o, const std::string& v) -> std::optional<CliError> {
#ifdef QM_HAVE_REPORT
             if (v.empty()) return CliError{"quillmark-check", "--report にファイル名を指定してください。", true};
             o.reportPath = v;
             return std::nullopt;
#else
             (void)o;
             (void)v;
             return CliError{"quillmark-check", "--report はこのビルドでは使えません。", false};
#endif
         },
         "チェック結果を印刷プレビューと同じ体裁の PDF に書き出します（デスクトッププログラムと一緒にビルドしたときだけ使えます）"
         "。ファイルは同じフォルダの一時ファイルに書いてから置き換えるので、書き出しに失敗しても途中までの PDF は残らず、"
         "前からあるファイルも元のままです。成果メディアの中（最上位フォルダとその下）は指定できません（チェックの前に終了コード 2 で終わります）"
         "。ログと終了コードは変わりません。書き出せないときは標準エラー出力に表示します。"},
        {"--help", "-h", nullptr, "この説明を表示します",
         [](Options& o, const std::string&) -> std::optional<CliError> {
             o.help = true;
             return std::nullopt;
         },
         "オプション、工程コード、ログの場所、終了コードを表示します。"},
        {"--version", nullptr, nullptr, "バージョンを表示します",
         [](Options& o, const std::string&) -> std::optional<CliError> {
             o.version = true;
             return std::nullopt;
         },
         "バージョンを表示します。"},
        {"--help-man", nullptr, nullptr, "マニュアルページのオプションの節を出力します（ビルド用）",
         [](Options& o, const std::string&) -> std::optional<CliError> {
             o.helpMan = true;
             return std::nullopt;
         },
         nullptr, true},
    };
    return table;
}

std::optional<CliError> parseArguments(const std::vector<std::string>& args, Options& out) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            out.media.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = a;
        std::optional<std::string> inlineValue;
        if (const size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            inlineValue = a.substr(eq + 1);
        }
        const OptionSpec* option = nullptr;
        for (const auto& s : optionTable())
            if (name == s.name || (s.alias && name == s.alias)) option = &s;
        if (!option) return CliError{"quillmark-check", "不明なオプションです: " + a, true};
        std::string value;
        if (option->valueName) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return CliError{"quillmark-check", name + " に値がありません（" + name + " " + option->valueName + "）。", true};
            }
        } else if (inlineValue) {
            return CliError{"quillmark-check", name + " は値をとりません。", true};
        }
        if (auto refused = option->apply(out, value)) return refused;
    }
    return std::nullopt;
}

std::string usageText() {
    std::ostringstream s;
    s << "使い方: quillmark-check [オプション] MEDIUM...\n"
         "詳しくは quillmark-check --help をご覧ください。\n";
    return s.str();
}

std::string helpText() {
    std::ostringstream s;
    s << "使い方: quillmark-check [オプション] MEDIUM...\n\n"
         "地籍調査・官民境界等先行調査の電子納品成果をチェックし、結果を標準出力に表示します。\n"
         "成果は読むだけで、書き換えません。\n\n"
         "  MEDIUM  成果メディアの最上位フォルダ（INDEX_D.XML のある場所）。1枚目から順に、\n"
         "          メディアの枚数だけ指定します（同じフォルダを二度は指定できません）。\n"
         "          ディスクイメージ（ISO 9660 / Joliet / UDF の .iso など）も、マウントせずにそのまま\n"
         "          指定できます。フォルダと混在してもかまいません。\n\n"
         "オプション:\n";
    for (const auto& o : optionTable()) {
        if (o.hidden) continue;
        std::string head = std::string(o.alias ? std::string(o.alias) + ", " : "") + o.name;
        if (o.valueName) head += std::string(" ") + o.valueName;
        s << "  " << head;
        for (size_t k = head.size(); k < 24; ++k) s << ' ';
        s << " " << o.help << "\n";
    }
    s << "\n工程コード（--processes）:\n  地籍調査（--type 1）:\n";
    for (const auto& p : kCadastral) s << "    " << p.code << (std::string(p.code).size() < 2 ? "  " : " ") << " " << p.name << "\n";
    s << "  官民境界等先行調査（--type 2）:\n";
    for (const auto& p : kPreliminary) s << "    " << p.code << (std::string(p.code).size() < 2 ? "  " : " ") << " " << p.name << "\n";
    s << "\nファイル更新日（--from, --to）:\n"
         "  年-月-日 の各部分を数字で指定します（例 2017-4-1）。暦にない日付や開始日が終了日より後の期間は、\n"
         "  警告を表示して指定どおりにチェックします。\n"
         "\nチェックログ:\n"
         "  $XDG_RUNTIME_DIR/quillmark_log（XDG_RUNTIME_DIR がなければ 一時フォルダ/quillmark-<UID>/quillmark_log）、\n"
         "  または --log-dir のフォルダに書き出します。ファイル名は成果ごとに FolderCheck_nnn.log、\n"
         "  JobFileCheck_IND_nnn.log、JobFileCheck_SUV_nnn.log、JobFileCheck_TSK_nnn.log、成果全体は\n"
         "  FolderCheck_000.Log です（CP932、CR LF）。チェックの前に、--log-dir のフォルダからはこれらの名前の\n"
         "  ログだけを、既定のフォルダからは *.log を削除します。成果メディアの中のフォルダや成果メディアを含む\n"
         "  フォルダはログフォルダにできません。チェック中のログフォルダは他のチェックから使えません。\n"
         "\n終了コード:\n"
         "  0  エラーは検出されませんでした\n"
         "  1  エラーが検出されました\n"
         "  2  チェックできませんでした（指定の誤り、成果の場所の誤り、設定フォルダ・設定テーブルの不足、\n"
         "     ログを書き込めない、ログフォルダが使用中、中断）\n";
    return s.str();
}

namespace {

// Text for the manual page: backslashes and hyphens escaped, a break allowed after
// Japanese punctuation (the formatter does not break between wide characters by itself).
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
    }
    for (const char* mark : {"、", "。", "）"}) {
        const std::string m(mark);
        for (size_t at = out.find(m); at != std::string::npos; at = out.find(m, at + m.size() + 2))
            out.insert(at + m.size(), "\\:");
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

bool endsTheProgram(const OptionSpec& o) { return std::string(o.name) == "--help" || std::string(o.name) == "--version"; }

std::string manHead(const OptionSpec& o) {
    std::string head = o.alias ? "\\fB" + roff(o.alias) + "\\fR, " : "";
    head += "\\fB" + roff(o.name) + "\\fR";
    if (o.valueName) head += " \\fI" + roff(o.valueName) + "\\fR";
    return head;
}

}  // namespace

std::string manSectionsText() {
    std::ostringstream s;
    s << ".SH SYNOPSIS\n.B quillmark-check\n";
    for (const auto& o : optionTable()) {
        if (o.hidden || endsTheProgram(o)) continue;
        s << "[\\fB" << roff(o.name) << "\\fR" << (o.valueName ? " \\fI" + roff(o.valueName) + "\\fR" : "") << "]\n";
    }
    s << "\\fIMEDIUM\\fR...\n.br\n.B quillmark-check\n";
    bool first = true;
    for (const auto& o : optionTable()) {
        if (o.hidden || !endsTheProgram(o)) continue;
        s << (first ? "" : " | ") << "\\fB" << roff(o.name) << "\\fR";
        first = false;
    }
    s << "\n.SH OPTIONS\n";
    for (const auto& o : optionTable()) {
        if (o.hidden) continue;
        s << ".TP\n" << manHead(o) << "\n" << roff(o.detail ? o.detail : o.help) << "\n";
    }
    s << ".SH PROCESS CODES\n.TP\n" << roff("地籍調査（--type 1）") << "\n";
    for (size_t i = 0; i < std::size(kCadastral); ++i)
        s << (i ? ", " : "") << kCadastral[i].code << " " << roff(kCadastral[i].name);
    s << "\n.TP\n" << roff("官民境界等先行調査（--type 2）") << "\n";
    for (size_t i = 0; i < std::size(kPreliminary); ++i)
        s << (i ? ", " : "") << kPreliminary[i].code << " " << roff(kPreliminary[i].name);
    s << "\n";
    return s.str();
}

std::string versionText() { return std::string("quillmark-check ") + QM_VERSION + "\n"; }

std::optional<CliError> parseDate(const std::string& text, bool start, int16_t out[3], std::string& warning) {
    static const char* kPart[2][3] = {{"終了年", "終了月", "終了日"}, {"開始年", "開始月", "開始日"}};
    std::string parts[3];
    int k = 0;
    for (char c : text) {
        if (c == '-' && k < 2) {
            ++k;
            continue;
        }
        parts[k] += c;
    }
    int32_t value[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        const std::string part = kPart[start][i];
        if (parts[i].empty()) return CliError{"ファイル更新日", part + "を入力してください。"};
        if (!allDigits(parts[i])) return CliError{"ファイル更新日", part + "は数字で入力してください。"};
        size_t nz = parts[i].find_first_not_of('0');
        const std::string digits = nz == std::string::npos ? "0" : parts[i].substr(nz);
        if (digits.size() > 5 || std::stol(digits) > 32767)
            return CliError{"ファイル更新日", part + "は 32767 以下の数で入力してください。"};
        value[i] = static_cast<int32_t>(std::stol(digits));
        out[i] = static_cast<int16_t>(value[i]);
    }
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int32_t y = value[0], m = value[1], d = value[2];
    bool valid = y >= 1 && m >= 1 && m <= 12 && d >= 1 && d <= kDays[m - 1];
    if (valid && m == 2 && d == 29) valid = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    warning.clear();
    if (!valid)
        warning = std::string(start ? "開始日" : "終了日") + " " + text + " は暦にない日付です。指定どおりにチェックします。";
    return std::nullopt;
}

}  // namespace qmcli
