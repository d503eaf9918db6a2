// The summary of a run as text and as JSON.
#include "cli/summary.h"

#include "cli/imagesection.h"  // media given as disc images
#include "foundation/platform.h"
#include "foundation/text.h"

#include <cstdio>

namespace qmcli {

namespace {

// Length of the well-formed UTF-8 sequence at p (at most n bytes), or 0.
size_t sequenceLength(const unsigned char* p, size_t n) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c == 0xE0) { len = 3; lo = 0xA0; }
    else if (c >= 0xE1 && c <= 0xEC) len = 3;
    else if (c == 0xED) { len = 3; hi = 0x9F; }  // no surrogates
    else if (c >= 0xEE && c <= 0xEF) len = 3;
    else if (c == 0xF0) { len = 4; lo = 0x90; }
    else if (c >= 0xF1 && c <= 0xF3) len = 4;
    else if (c == 0xF4) { len = 4; hi = 0x8F; }
    else return 0;
    if (n < len) return 0;
    if (p[1] < lo || p[1] > hi) return 0;
    for (size_t k = 2; k < len; ++k)
        if (p[k] < 0x80 || p[k] > 0xBF) return 0;
    return len;
}

std::string hexBytes(const std::string& s) {
    static const char* kHex = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

// "key": "text", and when text is not UTF-8 also "keyBytes": "<hex of the raw bytes>".
std::string jsonPathFields(const std::string& key, const std::string& text) {
    std::string out = "\"" + key + "\": " + jsonString(text);
    if (!qm::isValidUtf8(text)) out += ", \"" + key + "Bytes\": \"" + hexBytes(text) + "\"";
    return out;
}

const char* mark(bool ok) { return ok ? "○" : "×"; }

// The place of a finding of a medium's folder log as JSON fields. A log writes '?' for
// every character that CP932 does not hold; such a place is matched with the medium's
// entries, and the entry's true name given ("place", with "placeBytes" when its bytes are
// not UTF-8). Any other place, or one that names no single entry, is given as logged.
std::string placeFields(const qm::LoggedFinding& f, const std::string& mediumTop, bool folderLog) {
    if (folderLog && !mediumTop.empty() && f.place.find('?') != std::string::npos)
        if (const auto entry = qm::entryOfLoggedPlace(mediumTop, f.place)) return jsonPathFields("place", entry->raw);
    return jsonPathFields("place", f.place);
}

std::string verdictText(const Report& r) {
    if (!r.problems.empty()) return "チェックを正しく行えなかったため、結果は成果の判定になりません。";
    return r.summary->anyFinding ? "チェックの結果、エラーが検出されました。" : "チェックの結果、エラーは検出されませんでした。";
}

int countOf(const qm::MediumResult& m) {
    int n = 0;
    for (const auto& t : m.types) n += static_cast<int>(t.findings.size());
    return n;
}

std::string mediumPath(const Report& r, const qm::MediumResult& m) {
    if (m.number > 0 && m.number <= static_cast<int>(r.media->size())) return (*r.media)[m.number - 1].path;
    return "";
}

}  // namespace

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = p[i];
        const size_t len = sequenceLength(p + i, s.size() - i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
            ++i;
            continue;
        }
        if (len > 1) {
            out.append(s, i, len);
            i += len;
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    return out + "\"";
}

int findingCount(const qm::RunSummary& s) {
    int n = 0;
    for (const auto& m : s.media) n += countOf(m);
    return n;
}

void printText(std::ostream& out, const Report& r) {
    const qm::RunSummary& s = *r.summary;
    out << "成果種類: " << qm::GetResultTypeName(static_cast<int16_t>(s.resultType)) << "\n";
    out << "工程: " << (r.processes.empty() ? "(なし)" : r.processes);
    if (!r.processNote.empty()) out << "  ※" << r.processNote;
    out << "\n";
    out << "チェック結果: " << verdictText(r) << "\n";
    for (const auto& p : r.problems) out << "  ※" << p << "\n";
    out << "ログフォルダ: " << r.logPath << "\n";
    for (const auto& m : s.media) {
        out << "\n" << m.label << " " << mark(!m.anyLog);
        if (const std::string path = mediumPath(r, m); !path.empty()) out << "  " << path;
        out << "\n";
        for (const auto& t : m.types) {
            out << "  " << mark(t.ok()) << " " << t.label;
            if (!t.findings.empty()) out << "  " << t.findings.size() << "件";
            out << "\n";
            if (!t.failure.empty()) out << "      " << t.failure << "\n";
            // code, place, message and, when the log holds one, the item or content
            for (const auto& f : t.findings) {
                out << "      " << f.number << "\t" << f.location() << "\t" << f.message;
                if (!f.item.empty()) out << "\t" << f.item;
                out << "\n";
            }
        }
    }
    out << "\nエラー件数:";
    for (const auto& m : s.media) out << " " << m.label << " " << countOf(m) << "件,";
    out << " 合計 " << findingCount(s) << "件\n";
}

std::string jsonReport(const Report& r) {
    const qm::RunSummary& s = *r.summary;
    const qm::ListingCacheScope listings;  // places matched with a medium's entries list each folder once
    std::string o = "{\n";
    o += "  \"resultType\": " + std::to_string(s.resultType) + ",\n";
    o += "  \"resultTypeName\": " + jsonString(qm::GetResultTypeName(static_cast<int16_t>(s.resultType))) + ",\n";
    o += "  \"processes\": " + jsonString(r.processes) + ",\n";
    if (!r.processNote.empty()) o += "  \"processNote\": " + jsonString(r.processNote) + ",\n";
    o += "  \"anyFinding\": " + std::string(s.anyFinding ? "true" : "false") + ",\n";
    o += "  \"verdictValid\": " + std::string(r.problems.empty() ? "true" : "false") + ",\n";
    o += "  \"verdict\": " + jsonString(verdictText(r)) + ",\n";
    o += "  \"problems\": [";
    for (size_t i = 0; i < r.problems.size(); ++i) o += (i ? ", " : "") + jsonString(r.problems[i]);
    o += "],\n";
    o += "  \"findingCount\": " + std::to_string(findingCount(s)) + ",\n";
    o += "  " + jsonPathFields("logFolder", r.logPath) + ",\n";
    o += "  \"media\": [";
    for (size_t i = 0; i < s.media.size(); ++i) {
        const auto& m = s.media[i];
        o += i ? ",\n    {" : "\n    {";
        o += "\"number\": " + std::to_string(m.number) + ", \"label\": " + jsonString(m.label);
        if (m.number > 0 && m.number <= static_cast<int>(r.media->size())) {
            const auto& rec = (*r.media)[m.number - 1];
            o += ", " + jsonPathFields("path", rec.path) + ", \"driveType\": " + std::to_string(rec.driveType) +
                 ", \"volumeSerial\": " + std::to_string(rec.volumeNo);
            o += imageJsonMember(rec.path, m.number);  // a medium given as a disc image
        }
        const std::string top = mediumPath(r, m);
        o += ", \"result\": " + jsonString(mark(!m.anyLog)) + ", \"count\": " + std::to_string(countOf(m)) +
             ", \"checks\": [";
        for (size_t k = 0; k < m.types.size(); ++k) {
            const auto& t = m.types[k];
            o += k ? ",\n      {" : "\n      {";
            o += "\"key\": " + jsonString(t.key) + ", \"label\": " + jsonString(t.label) +
                 ", \"result\": " + jsonString(mark(t.ok())) + ", \"count\": " + std::to_string(t.findings.size());
            if (!t.failure.empty()) o += ", \"failure\": " + jsonString(t.failure);
            o += ", \"findings\": [";
            for (size_t j = 0; j < t.findings.size(); ++j) {
                const auto& f = t.findings[j];
                o += j ? ",\n        {" : "\n        {";
                o += "\"code\": " + std::to_string(f.number) + ", \"location\": " + jsonString(f.location()) + ", " +
                     placeFields(f, top, t.key == "Folder") + ", \"occurrence\": " + std::to_string(f.occurrence) +
                     ", \"message\": " + jsonString(f.message) + ", \"item\": " + jsonString(f.item) + "}";
            }
            o += t.findings.empty() ? "]}" : "\n      ]}";
        }
        o += "\n    ]}";
    }
    o += "\n  ]" + r.extraJson + "\n}\n";
    return o;
}

}  // namespace qmcli
