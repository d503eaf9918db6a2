// XML document service: loads a management file with validation against the DTD named
// in its document type declaration, and offers the navigation the checkers use.
// A thin RAII wrapper over libxml2; callers never see libxml2 types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct XmlParseError {
    int32_t errorCode = 0;  // negative: the parser's code negated; 0 after a good load
    int32_t line = 0;       // 1-based, 0 when unknown
    std::string reason;     // Japanese reason, then the parser's own text
    // The system's error number when the document itself is there but could not be read
    // (permission denied, an I/O error), else 0.
    int readError = 0;
};

enum XmlNodeType : int { kXmlElement = 1, kXmlAttribute = 2, kXmlText = 3, kXmlProcessingInstruction = 7,
                         kXmlComment = 8, kXmlDocumentType = 10, kXmlDocument = 9, kXmlOther = 0 };

class XmlDocument;

// Bounds of one load; management files are far smaller, and these keep a hostile one
// within bounded time and memory.
// - A larger file (document, DTD or external entity file) is not read at all.
// - DTDs and parameter entity files are read at most once per load each (a second
//   reference to the same file, by any name, is refused: the parser would parse its text
//   again), and all of them together at most kMaxXmlExternalBytes.
// - At most kMaxXmlElements elements, comments and processing instructions together.
// - The tree's text (character data, attribute values with the defaults a DTD adds,
//   comments and processing instructions, the DTD's included) at most
//   kXmlContentAllowance plus kXmlContentPerByteRead times the document's size (one byte
//   of Shift_JIS can become three of UTF-8).
inline constexpr uint64_t kMaxXmlFileBytes = 128ull << 20;
// A delivery's DTDs are a few kilobytes; the parser takes DTD text at some 25 to 50 MB/s,
// so this budget also bounds the time a load spends on DTDs to well under a second.
inline constexpr uint64_t kMaxXmlExternalBytes = 16ull << 20;
inline constexpr uint64_t kMaxXmlElements = 1000000;
inline constexpr uint64_t kXmlContentAllowance = 16ull << 20;
inline constexpr uint64_t kXmlContentPerByteRead = 3;

// A node of a loaded document; valid while its document lives (and until it loads
// another file). Cheap to copy.
//
// The tree holds no text of white space alone (outside xml:space="preserve"): such text
// between elements, and an element's content made only of blanks, are dropped, so an
// element holding elements has an element first and an element holding only blanks has
// no child nodes. Other text is kept exactly, blanks at its ends included. CDATA
// sections are merged into the text around them; entity references are resolved.
class XmlNode {
public:
    XmlNode() = default;
    bool isNull() const { return node_ == nullptr; }
    int nodeType() const;
    std::string nodeName() const;   // element or attribute name as written; "#text" etc. otherwise
    std::string baseName() const;   // name without namespace prefix
    // Children in document order: elements, text, comments (8) and processing
    // instructions (7); the document also lists its document type (10). Empty for
    // text, comments, processing instructions and the document type.
    std::vector<XmlNode> childNodes() const;
    bool hasChildNodes() const;
    // All character data below, concatenated in document order (not comments or
    // processing instructions); the content itself for text, comments and PIs; the
    // value for an attribute.
    std::string text() const;
    std::string nodeValue() const;  // text, comment, PI content or attribute value; empty for elements
    std::string firstChildText() const;  // nodeValue of the first child, or empty
    // "/A/B" (from the document; "/" alone is the document) or "B/C" (from this node):
    // element names as written, no predicates or wildcards; document order.
    std::vector<XmlNode> selectNodes(const std::string& path) const;
    XmlNode selectSingleNode(const std::string& path) const;          // first of selectNodes
    std::vector<std::pair<std::string, std::string>> attributes() const;
    std::optional<std::string> getAttribute(const std::string& name) const;

    // Walking without building lists, for long loops: the first of childNodes(), and the
    // node after this one in its parent's childNodes() (null after the last).
    XmlNode firstChild() const;
    XmlNode nextSibling() const;
    // nodeName() == name, and nodeName() appended to out, without building the name.
    bool hasName(std::string_view name) const;
    void appendName(std::string& out) const;

private:
    friend class XmlDocument;
    explicit XmlNode(void* n) : node_(n) {}
    void* node_ = nullptr;
};

class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // DTDs and external entities are read only from inside this folder (and its
    // sub-folders); default: the folder of the document loaded.
    void setAllowedRoot(const std::string& folder);

    // Loads and validates. False for a missing file, a file that is not well-formed, one
    // that breaks its DTD, and one whose DTD cannot be read (see parseError()); also for a
    // symbolic link, a file that is not a regular file, one that lies outside the allowed
    // root, and one beyond the bounds above. DTDs and parameter entity files are read
    // only when no entry between the allowed root and them is a symbolic link; external
    // general entities (references in element content to other files) are refused.
    bool load(const std::string& path);
    const XmlParseError& parseError() const { return error_; }

    XmlNode document() const;        // the document node ("/")
    XmlNode documentElement() const; // the root element
    std::vector<XmlNode> selectNodes(const std::string& path) const;  // from the document node
    // The encoding of the XML declaration exactly as written ("" when none is declared).
    std::string declaredEncoding() const;
    bool hasXmlDeclaration() const;

private:
    using LoadStateRef = void*;
    bool loadFromImage(LoadStateRef state, const std::string& shown);  // a document inside a disc image
    struct Impl;
    std::unique_ptr<Impl> impl_;
    XmlParseError error_;
};

// For tests: a failure to give in place of the system's answer when a document, DTD or
// entity file is opened for reading; a non-zero answer is taken as the errno of the open.
// nullptr removes it.
using XmlReadFault = int (*)(const std::string& path);
void setXmlReadFaultForTesting(XmlReadFault fault);

// Shares parses among the loads of one piece of work (a check run, one medium). While a
// scope lives on this thread, XmlDocument::load parses each file once and hands every
// later load of the same file the same read-only document and the same outcome (failure
// and parse error included). "The same file" means the same absolute path, device, inode,
// size and modification and change times, and the same allowed root; the DTDs and
// external entities read for it must also be unchanged. A file that changes is parsed
// again.
//
// Scopes nest. A load served or parsed while an inner scope lives is kept by that inner
// scope and released when it ends. Each scope keeps at most kMaxDocuments documents,
// dropping the one used least recently. Without a scope every load parses afresh.
// A document handed out stays valid for as long as its XmlDocument holds it.
class XmlCacheScope {
public:
    static constexpr size_t kMaxDocuments = 4;
    XmlCacheScope();
    ~XmlCacheScope();
    XmlCacheScope(const XmlCacheScope&) = delete;
    XmlCacheScope& operator=(const XmlCacheScope&) = delete;

    size_t documents() const;  // outcomes kept now
    size_t hits() const;       // loads served without parsing while this was the innermost scope

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// True when an encoding name is one under which files declare Microsoft Shift_JIS (all
// of them are decoded as CP932), letter case ignored.
bool isShiftJisName(std::string_view declared);

// True when a document object can be created (the parser is present).
bool CheckXmlParser();

}  // namespace qm
