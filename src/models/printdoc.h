// A document handed to the print preview: one of four kinds, a title, and its records.
// Every view that prints fills one of these; the layout engine lays it out on pages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm::print {

enum class DocKind : int16_t {
    Xml = 0,     // element tree of a management file
    File = 1,    // folder and file list of a medium
    Doc = 2,     // deliverables list
    ErrLog = 3,  // findings of one check
};

// One printed entry. Which fields a kind uses:
//   Xml:    level (0 = root), name = element, content, note
//   File:   level, name, time (update time), content, note; extra is carried, not printed
//   Doc:    level = line kind (0 area heading, 1 process heading, 2 document), name = text,
//           mark ("○", "×" or empty)
//   ErrLog: name = エラー箇所, content = 内容
// All texts are UTF-8.
struct PrintRecord {
    int16_t level = 0;
    std::string name;
    std::string time;
    std::string content;
    std::string note;
    std::string mark;
    std::string extra;
};

struct PrintDocument {
    DocKind kind = DocKind::ErrLog;
    std::string title;     // printed in the page header
    std::string subTitle;  // check result only
    std::string caption;   // file list: the medium's path, shown in the window caption
    std::vector<PrintRecord> records;
};

}  // namespace qm::print
