#include "cli/doclist_report.h"

#include "foundation/appstate.h"

#include <cstdio>

namespace qm::cli {

namespace {

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

DocListReport::DocListReport(bool enabled, const AppState& app, int16_t resultType, const ProcessFlags& flags,
                             CheckRunObserver* inner)
    : enabled_(enabled), inner_(inner) {
    if (enabled_)
        loaded_ = list_.setDocInfo(resultType, app.settingPath + (resultType == 2 ? "DocList_S.txt" : "DocList_C.txt"),
                                   flags);
}

void DocListReport::yield() {
    if (inner_) inner_->yield();
}
void DocListReport::mediumStarted(int n, int count, const std::string& path) {
    if (inner_) inner_->mediumStarted(n, count, path);
}
void DocListReport::entriesWalked(int64_t entries) {
    if (inner_) inner_->entriesWalked(entries);
}
void DocListReport::mediumFinished(int n, const std::string& path) {
    if (enabled_) list_.SearchFiles(path);
    if (inner_) inner_->mediumFinished(n, path);
}

void DocListReport::finish() {
    if (finished_) return;
    finished_ = true;
    list_.setGrid();
}

void DocListReport::printText(std::ostream& out) {
    finish();
    out << "\n成果一覧\n";
    if (!loaded_) out << "  (成果一覧の設定を読み込めませんでした)\n";
    for (const auto& line : list_.printLines()) {
        if (line.kind == 0) out << line.text << "\n";
        else if (line.kind == 1) out << "  " << line.text << "\n";
        else out << "    " << line.mark << " " << line.text << "\n";
    }
}

std::string DocListReport::jsonMember() {
    finish();
    std::string o = ",\n  \"docList\": {\"loaded\": " + std::string(loaded_ ? "true" : "false") + ", \"areas\": [";
    bool first = true;
    for (const auto& a : list_.areaLines()) {
        o += first ? "\n    " : ",\n    ";
        first = false;
        o += "{\"area\": " + quoted(a.ch) + ", \"label\": " + quoted(a.label) + "}";
    }
    o += first ? "]" : "\n  ]";
    o += ", \"documents\": [";
    first = true;
    std::string processLabel;
    for (const auto& line : list_.printLines()) {
        if (line.kind == 1) processLabel = line.text;
        if (line.kind != 2) continue;
        o += first ? "\n    " : ",\n    ";
        first = false;
        o += "{\"area\": " + quoted(line.area) + ", \"process\": " + quoted(line.code) +
             ", \"processLabel\": " + quoted(processLabel) + ", \"document\": " + quoted(line.text) +
             ", \"found\": " + (line.mark == "○" ? "true" : "false") + ", \"mark\": " + quoted(line.mark) + "}";
    }
    o += first ? "]}" : "\n  ]}";
    return o;
}

}  // namespace qm::cli
