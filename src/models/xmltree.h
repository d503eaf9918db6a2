// A management file as the XML view shows it: one row per element, attribute and document
// type declaration in document order, the element's text beside it, and the findings of
// the file's element check log placed by element path and occurrence.
#pragma once

#include "models/outline.h"
#include "models/printdoc.h"
#include "models/stoppoint.h"
#include "checks/xmldoc.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace qm {

struct XmlRow {
    std::string value;         // column 1: element text or attribute value
    std::string note;          // column 2: findings, joined by CR LF
    uint32_t nameId = 0;       // column 0, in XmlTree::names()
    uint32_t pathId = 0;       // column 3, in XmlTree::paths(); 0 is "" (attributes)
    uint32_t parent = kNoParent;
    uint16_t level = 0;
    uint8_t nodeType = 1;      // column 4: 1 element, 2 attribute, 10 document type
    bool yellow = false;       // an element at level 0 or 1 with content
};

class XmlTree {
public:
    static constexpr int kHelpContext = 13330;

    // Answers of SetTree.
    static constexpr int16_t kBuilt = 0;
    static constexpr int16_t kMissing = 1;
    static constexpr int16_t kNotXml = 2;
    static constexpr int16_t kStopped = -1;

    void setYield(std::function<void()> yield) { stopPoint_.setYield(std::move(yield)); }
    void setStopFlag(const std::atomic<bool>* stop) { stopPoint_.setStopFlag(stop); }

    // Builds the rows of xmlFile and marks the findings of logFile ("" for none). A
    // missing file and a stop are told in a box; a file that does not load is not (its
    // parse error is kept for the text view).
    int16_t SetTree(const std::string& xmlFile, const std::string& logFile);
    bool readErrorLog(const std::string& logFile);

    const std::vector<XmlRow>& rows() const { return rows_; }
    const OutlineIndex& outline() const { return outline_; }
    const std::string& name(const XmlRow& r) const { return names_[r.nameId]; }
    const std::string& path(const XmlRow& r) const { return paths_[r.pathId]; }
    const std::string& fileName() const { return fileName_; }
    const XmlParseError& parseError() const { return parseError_; }

    // The element tree for printing, titled with the file name.
    print::PrintDocument printDocument() const;

private:
    int setTreeNode(const XmlNode& node, uint16_t level, uint32_t parentRow, uint32_t pathId);
    uint32_t intern(std::vector<std::string>& table, std::unordered_map<std::string, uint32_t>& index,
                    const std::string& s);
    uint32_t addRow(uint32_t parent, uint16_t level, uint8_t type, uint32_t nameId, uint32_t pathId);
    bool stopped() { return stopPoint_.stopped(); }

    std::vector<XmlRow> rows_;
    OutlineIndex outline_;
    std::vector<std::string> names_;
    std::vector<std::string> paths_;
    std::unordered_map<std::string, uint32_t> nameIndex_;
    std::unordered_map<std::string, uint32_t> pathIndex_;
    std::string fileName_;
    XmlParseError parseError_;
    StopPoint stopPoint_;
};

// The text of a file that did not load as XML, decoded as its XML declaration says
// (CP932 for Shift_JIS and its aliases, else UTF-8 where the bytes are UTF-8). Nothing
// past limit bytes is read: a larger file gives no text and tooLarge.
struct XmlFileText {
    std::string text;
    bool tooLarge = false;
};
XmlFileText readXmlFileText(const std::string& file, uint64_t limit = kMaxXmlFileBytes);

}  // namespace qm
