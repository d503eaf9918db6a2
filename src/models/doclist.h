// The deliverables list of a run: which documents of the deliverables table were found,
// per survey area and process, over all media of the run.
#pragma once

#include "checks/inspection.h"
#include "models/printdoc.h"
#include "foundation/text.h"

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace qm {

class DeliverablesList {
public:
    // The area alphabet: an area's index is its 1-based position here.
    static constexpr std::string_view kAreaAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ123456789";
    static constexpr int kAreas = 35;
    static constexpr int kMaxProcesses = 20;
    static constexpr size_t kMaxDocuments = 40;  // per process, and for TOT and DOC
    static constexpr int kHelpContext = 13340;

    struct Process {
        std::string label;  // "FⅠ"
        std::string code;   // "F1"
    };
    struct Document {
        std::string folderKind;  // "WORK" or "DATA" (unused for TOT and DOC)
        std::string pattern;     // file-name pattern
        std::string name;        // document name
        LikePattern compiled;
    };
    struct Area {
        std::string ch;                   // area character
        std::string name;                 // area name from SURVEY.XML
        std::array<uint8_t, 6> precision{};  // precision classes 1 to 6
    };
    // One grid row: ○/×, document name, pattern (hidden), area (hidden), process code (hidden).
    struct GridRow {
        std::string mark, name, pattern, area, code;
    };
    struct AreaLine {
        std::string label;  // "A 一丁目 (甲2)"
        int index = 0;      // 1..35
        std::string ch;
    };
    struct Tab {
        std::string key, caption;
    };
    // A line of the printed list: kind 0 area heading, 1 process heading, 2 document.
    struct PrintLine {
        int16_t kind = 0;
        std::string text, mark;
        std::string area, code;  // the area character and process code the line belongs to
    };

    // Reads the deliverables table (DocList_C.txt or DocList_S.txt) for the result type and
    // keeps the processes present. False when the table was not read.
    bool setDocInfo(int16_t resultType, const std::string& tableFile, const ProcessFlags& flags);
    // Collects the documents of one medium (top folder ending in a separator), after that
    // medium's checks. False when the medium has no SURVEY/TISEKI.
    bool SearchFiles(const std::string& topFolder);
    // Fills the areas and grid rows after the last medium and selects the first area.
    void setGrid();

    bool getAreaInfo(const std::string& surveyFile);
    void addAreaInfo(const std::string& ch, const std::string& name, int precision);
    static std::string getPrecisionText(const std::array<uint8_t, 6>& flags);

    // What the window shows.
    bool gridBuilt() const { return gridBuilt_; }
    const std::vector<GridRow>& gridRows() const { return rows_; }
    const std::vector<AreaLine>& areaLines() const { return areaLines_; }
    std::vector<Tab> tabsFor(int areaLine) const;
    bool rowVisible(size_t row, int areaLine, const std::string& tabKey) const;
    std::vector<PrintLine> printLines() const;
    print::PrintDocument printDocument() const;

    // The chosen area line and tab, kept between showings of the window.
    int selectedArea = -1;
    std::string selectedTab;

    // State, for callers and tests.
    const std::vector<Process>& processes() const { return processes_; }
    const std::vector<Area>& areas() const { return areas_; }
    bool found(const std::string& code, const std::string& area, int k) const {
        return found_.count({code, area, k}) != 0;
    }
    bool othrsPresent() const { return othrsPresent_; }
    bool docPresent() const { return docPresent_; }

private:
    void clear();
    const std::vector<Document>* documentsOf(const std::string& code) const;

    int16_t resultType_ = 0;
    std::vector<Process> processes_;
    std::vector<std::vector<Document>> documents_;  // per process
    std::vector<Document> tot_, doc_;
    std::array<uint8_t, kMaxProcesses> present_{};
    std::array<std::array<uint8_t, kAreas + 1>, kMaxProcesses> processArea_{};
    std::array<uint8_t, kAreas + 1> areaPresent_{};
    std::vector<Area> areas_;
    std::set<std::tuple<std::string, std::string, int>> found_;
    bool othrsPresent_ = false;
    bool docPresent_ = false;
    bool gridBuilt_ = false;
    std::vector<GridRow> rows_;
    std::vector<AreaLine> areaLines_;
};

}  // namespace qm
