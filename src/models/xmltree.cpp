#include "models/xmltree.h"

#include "checks/resultlog.h"
#include "foundation/imagemount.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"

#include <algorithm>
#include <fstream>
#include <unordered_map>

namespace qm {

namespace {

std::string baseFileName(const std::string& path) {
    const size_t at = path.find_last_of("/\\");
    return at == std::string::npos ? path : path.substr(at + 1);
}
}  // namespace

uint32_t XmlTree::intern(std::vector<std::string>& table, std::unordered_map<std::string, uint32_t>& index,
                         const std::string& s) {
    auto [it, added] = index.try_emplace(s, static_cast<uint32_t>(table.size()));
    if (added) table.push_back(s);
    return it->second;
}

uint32_t XmlTree::addRow(uint32_t parent, uint16_t level, uint8_t type, uint32_t nameId, uint32_t pathId) {
    XmlRow r;
    r.parent = parent;
    r.level = level;
    r.nodeType = type;
    r.nameId = nameId;
    r.pathId = pathId;
    rows_.push_back(std::move(r));
    return static_cast<uint32_t>(rows_.size() - 1);
}

int16_t XmlTree::SetTree(const std::string& xmlFile, const std::string& logFile) {
    rows_.clear();
    names_.assign(1, "");
    paths_.assign(1, "");
    nameIndex_.clear();
    pathIndex_.clear();
    nameIndex_.emplace("", 0);
    pathIndex_.emplace("", 0);
    parseError_ = {};
    outline_.build({});
    if (!isPlainFile(xmlFile)) {
        showMessage("XMLファイル表示", "ファイルが見つかりません。\r\n\r\n" + xmlFile, MsgIcon::Exclamation);
        return kMissing;
    }
    fileName_ = baseFileName(xmlFile);
    XmlDocument doc;
    if (!doc.load(xmlFile)) {
        parseError_ = doc.parseError();
        return kNotXml;
    }
    stopPoint_.restart();
    const int answer = setTreeNode(doc.document(), 0, kNoParent, 0);
    std::vector<uint32_t> parents;
    parents.reserve(rows_.size());
    for (const XmlRow& r : rows_) parents.push_back(r.parent);
    outline_.build(parents);
    if (answer < 0) {
        showMessage("XMLファイル表示", "中断しました。", MsgIcon::Exclamation);
        return kStopped;
    }
    if (!logFile.empty()) readErrorLog(logFile);
    return kBuilt;
}

// Adds the rows of node's children below parentRow. pathId is node's element path.
// Answers 1 when anything was added (a row or a text), 0 when nothing, -1 when stopped.
int XmlTree::setTreeNode(const XmlNode& node, uint16_t level, uint32_t parentRow, uint32_t pathId) {
    int answer = 0;
    std::string name;
    for (XmlNode child = node.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (stopped()) return -1;
        const int type = child.nodeType();
        uint32_t row = kNoParent;
        uint32_t childPath = pathId;
        if (type == kXmlElement || type == kXmlDocumentType) {
            name.clear();
            child.appendName(name);
            childPath = intern(paths_, pathIndex_, paths_[pathId] + "/" + name);
            row = addRow(parentRow, level, static_cast<uint8_t>(type), intern(names_, nameIndex_, name), childPath);
            if (type == kXmlElement) {
                for (const auto& [attrName, attrValue] : child.attributes()) {
                    const uint32_t a = addRow(row, static_cast<uint16_t>(level + 1), kXmlAttribute,
                                              intern(names_, nameIndex_, attrName), 0);
                    rows_[a].value = attrValue;
                }
            }
            answer = 1;
        } else if (type == kXmlText) {
            // The text belongs to the element whose children these are; a later text part
            // replaces an earlier one.
            if (parentRow != kNoParent) rows_[parentRow].value = child.nodeValue();
            answer = 1;
        }
        if (row != kNoParent && child.hasChildNodes()) {
            const int sub = setTreeNode(child, static_cast<uint16_t>(level + 1), row, childPath);
            if (sub < 0) return -1;
            if (sub == 1 && level <= 1) rows_[row].yellow = true;
        }
    }
    return answer;
}

bool XmlTree::readErrorLog(const std::string& logFile) {
    if (!isPlainFile(logFile)) return false;
    // Rows of each element path in order, document type rows counted with the root's.
    std::unordered_map<uint32_t, std::vector<uint32_t>> rowsByPath;
    for (uint32_t r = 0; r < rows_.size(); ++r)
        if (rows_[r].pathId != 0) rowsByPath[rows_[r].pathId].push_back(r);
    for (const LoggedFinding& f : readLogFindings(logFile, false, "readErrorLog")) {
        if (f.occurrence <= 0) continue;
        auto p = pathIndex_.find(f.place);
        if (p == pathIndex_.end() || p->second == 0) continue;
        const auto& list = rowsByPath[p->second];
        if (static_cast<size_t>(f.occurrence) > list.size()) continue;
        XmlRow& row = rows_[list[static_cast<size_t>(f.occurrence) - 1]];
        if (!row.note.empty()) row.note += "\r\n";
        row.note += f.message;
    }
    return true;
}

print::PrintDocument XmlTree::printDocument() const {
    print::PrintDocument doc;
    doc.kind = print::DocKind::Xml;
    doc.title = fileName_;
    doc.records.reserve(rows_.size());
    for (const XmlRow& r : rows_) {
        print::PrintRecord p;
        p.level = static_cast<int16_t>(r.level);
        p.name = names_[r.nameId];
        p.content = r.value;
        p.note = r.note;
        p.extra = std::to_string(r.nodeType);
        doc.records.push_back(std::move(p));
    }
    return doc;
}

XmlFileText readXmlFileText(const std::string& file, uint64_t limit) {
    XmlFileText out;
    std::string bytes, why;
    // A file inside a disc image is read from the image, with the same limit.
    const ImageRead fromImage = readImageFile(file, limit, bytes, why);
    if (fromImage == ImageRead::TooLarge) {
        out.tooLarge = true;
        return out;
    }
    if (fromImage == ImageRead::NotImage) {
        std::ifstream in(file, std::ios::binary);
        // Read in pieces up to one byte past the limit, whatever the file claims to hold (a
        // pipe or a growing file has no size to trust).
        std::vector<char> piece(1u << 20);
        while (in) {
            const uint64_t room = limit + 1 - bytes.size();
            in.read(piece.data(), static_cast<std::streamsize>(std::min<uint64_t>(piece.size(), room)));
            bytes.append(piece.data(), static_cast<size_t>(in.gcount()));
            if (bytes.size() > limit) {
                out.tooLarge = true;
                return out;
            }
            if (in.gcount() == 0) break;
        }
    }
    // The encoding named in the XML declaration, if the file begins with one.
    std::string declared;
    if (bytes.rfind("<?xml", 0) == 0) {
        const size_t end = bytes.find("?>");
        const std::string decl = bytes.substr(0, end);
        const size_t at = decl.find("encoding");
        if (at != std::string::npos) {
            const size_t q = decl.find_first_of("\"'", at);
            if (q != std::string::npos) {
                const size_t q2 = decl.find(decl[q], q + 1);
                if (q2 != std::string::npos) declared = decl.substr(q + 1, q2 - q - 1);
            }
        }
    }
    if (!declared.empty() && isShiftJisName(declared))
        out.text = fromCp932(bytes);
    else if (isValidUtf8(bytes))
        out.text = std::move(bytes);
    else
        out.text = fromCp932(bytes);
    return out;
}

}  // namespace qm
