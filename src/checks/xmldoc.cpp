// XML document service over libxml2.
//
// Loading: the file is read into memory and parsed with DTD validation, entity
// substitution and ignorable white space dropped. The parser never touches the
// network: every DTD and external entity goes through our own loader, which accepts
// plain local files (or file: URLs) inside the allowed root only, and converts them to
// UTF-8 itself so that Windows-made DTDs in CP932 without an encoding declaration can
// be read. Shift_JIS and its aliases are decoded as CP932 everywhere.
//
// Errors are collected per load through the parser context's structured error handler
// (with the thread's global handlers redirected as a backstop, so nothing reaches
// stderr); the first error is kept.

#include "checks/xmldoc.h"
#include "foundation/fspath.h"

#include "foundation/imagemount.h"
#include "foundation/platform.h"
#include "foundation/text.h"

#include <libxml/SAX2.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>

#ifndef _WIN32
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>
#include <unordered_map>

#ifdef _WIN32
#include "foundation/iconv_win.h"
#include "foundation/posix_win.h"  // last: it stands in for struct stat
#endif

namespace fs = std::filesystem;

namespace qm {

namespace {

// ---- Encodings ---------------------------------------------------------------

std::string upper(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

// Names under which files declare Microsoft Shift_JIS; all are decoded as CP932.
const char* const kShiftJisNames[] = {"SHIFT_JIS", "SHIFT-JIS", "SJIS",       "X-SJIS",     "MS_KANJI",
                                      "WINDOWS-31J", "CSSHIFTJIS", "MS932",  "SHIFTJIS", "X-MS-CP932"};

}  // namespace

bool isShiftJisName(std::string_view declared) {
    const std::string u = upper(declared);
    for (const char* n : kShiftJisNames)
        if (u == n) return true;
    return false;
}

namespace {

// The iconv name to decode a declared encoding with.
std::string iconvName(std::string_view declared) {
    const std::string u = upper(declared);
    for (const char* n : kShiftJisNames)
        if (u == n) return "CP932";
    return u;
}

bool isUtf8Name(std::string_view declared) {
    const std::string u = upper(declared);
    return u == "UTF-8" || u == "UTF8";
}

bool isUtf16Name(std::string_view declared) {
    const std::string u = upper(declared);
    return u == "UTF-16" || u == "UTF16" || u == "UTF-16LE" || u == "UTF-16BE";
}

bool validUtf8(std::string_view s) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) { ++i; continue; }
        int len;
        uint32_t cp;
        if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
        else return false;
        if (i + len > n) return false;
        for (int k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

enum class Conv { Ok, UnknownEncoding, BadBytes };

// Converts text in the iconv encoding `from` to UTF-8. On bad bytes, `out` holds what
// was converted before them.
Conv toUtf8(std::string_view in, const std::string& from, std::string& out) {
    out.clear();
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return Conv::UnknownEncoding;
    std::string buf(in);
    char* src = buf.data();
    size_t left = buf.size();
    char chunk[8192];
    Conv result = Conv::Ok;
    while (left > 0) {
        char* dst = chunk;
        size_t room = sizeof chunk;
        const size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(chunk, static_cast<size_t>(dst - chunk));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            result = Conv::BadBytes;
            break;
        }
    }
    if (result == Conv::Ok) {
        char* dst = chunk;
        size_t room = sizeof chunk;
        iconv(cd, nullptr, nullptr, &dst, &room);
        out.append(chunk, static_cast<size_t>(dst - chunk));
    }
    iconv_close(cd);
    return result;
}

// ---- The XML (or text) declaration as written ----------------------------------

struct Declaration {
    bool present = false;
    bool hasEncoding = false;
    std::string encoding;
    size_t encodingPos = 0;  // offset of the value in the scanned text (ASCII-compatible input only)
    size_t encodingLen = 0;
};

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Scans "<?xml ... ?>" at the start of `s`, an ASCII view of the text.
Declaration scanDeclarationText(std::string_view s) {
    Declaration d;
    if (s.size() < 6 || s.substr(0, 5) != "<?xml" || !isXmlSpace(s[5])) return d;
    const size_t end = s.find("?>");
    if (end == std::string_view::npos) return d;
    d.present = true;
    size_t i = 5;
    while (i < end) {
        while (i < end && isXmlSpace(s[i])) ++i;
        const size_t nameStart = i;
        while (i < end && !isXmlSpace(s[i]) && s[i] != '=') ++i;
        const std::string_view name = s.substr(nameStart, i - nameStart);
        while (i < end && isXmlSpace(s[i])) ++i;
        if (i >= end || s[i] != '=') break;
        ++i;
        while (i < end && isXmlSpace(s[i])) ++i;
        if (i >= end || (s[i] != '"' && s[i] != '\'')) break;
        const char quote = s[i++];
        const size_t valueStart = i;
        while (i < end && s[i] != quote) ++i;
        if (i >= end) break;
        if (name == "encoding") {
            d.hasEncoding = true;
            d.encoding = std::string(s.substr(valueStart, i - valueStart));
            d.encodingPos = valueStart;
            d.encodingLen = i - valueStart;
        }
        ++i;
    }
    return d;
}

// The declaration of a file's raw bytes, whatever the byte order mark or UTF-16 form.
Declaration scanDeclaration(std::string_view bytes) {
    auto ascii16 = [&](size_t start, bool littleEndian) {
        std::string s;
        for (size_t i = start; i + 1 < bytes.size() && s.size() < 1024; i += 2) {
            const char lo = littleEndian ? bytes[i] : bytes[i + 1];
            const char hi = littleEndian ? bytes[i + 1] : bytes[i];
            if (hi != 0 || static_cast<unsigned char>(lo) >= 0x80) break;
            s += lo;
        }
        Declaration d = scanDeclarationText(s);
        d.encodingPos = d.encodingLen = 0;
        return d;
    };
    if (bytes.substr(0, 2) == "\xFF\xFE") return ascii16(2, true);
    if (bytes.substr(0, 2) == "\xFE\xFF") return ascii16(2, false);
    if (bytes.substr(0, 4) == std::string_view("<\0?\0", 4)) return ascii16(0, true);
    if (bytes.substr(0, 4) == std::string_view("\0<\0?", 4)) return ascii16(0, false);
    size_t start = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    Declaration d = scanDeclarationText(bytes.substr(start, 1024));
    d.encodingPos += start;
    return d;
}

// ---- Per-load state ------------------------------------------------------------

// Who a file is and how it stood when it was read.
struct FileStamp {
    std::string path;  // kept for external files only
    uint64_t dev = 0, ino = 0, size = 0;
    int64_t mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
    bool operator==(const FileStamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtimeSec == o.mtimeSec &&
               mtimeNsec == o.mtimeNsec && ctimeSec == o.ctimeSec && ctimeNsec == o.ctimeNsec;
    }
};

void fillStamp(const struct stat& st, FileStamp& f) {
    f.dev = static_cast<uint64_t>(st.st_dev);
    f.ino = static_cast<uint64_t>(st.st_ino);
    f.size = static_cast<uint64_t>(st.st_size);
    f.mtimeSec = static_cast<int64_t>(st.st_mtim.tv_sec);
    f.mtimeNsec = static_cast<int64_t>(st.st_mtim.tv_nsec);
    f.ctimeSec = static_cast<int64_t>(st.st_ctim.tv_sec);
    f.ctimeNsec = static_cast<int64_t>(st.st_ctim.tv_nsec);
}

bool stampOf(const std::string& path, FileStamp& f) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    fillStamp(st, f);
    f.path = path;
    return true;
}

struct LoadState {
    std::string docPath;   // absolute path handed to the parser as the document's URL
    std::string docDir;
    std::string rootReal;  // real path of the allowed root; empty: nothing may be loaded
    std::string docEncoding;
    xmlParserCtxtPtr mainCtxt = nullptr;
    bool hasDoctype = false;
    bool inExternalSubset = false;
    bool hasError = false;
    XmlParseError first;
    std::vector<FileStamp> externals;  // DTDs and entities read
    charactersSAXFunc characters = nullptr;  // the tree builder's own handler
    bool blankText = false;  // character data of white space alone was handed to the tree

    // What the load costs, against the bounds of xmldoc.h.
    uint64_t documentBytes = 0;  // the document file
    uint64_t externalBytes = 0;  // handed to the parser from DTDs and entity files (UTF-8)
    uint64_t nodes = 0;          // elements, comments and processing instructions
    uint64_t contentBytes = 0;   // character data, attribute values (defaults included), comments, PIs

    // Device and inode of each external file handed to the parser.
    std::set<std::pair<uint64_t, uint64_t>> externalsRead;
    // Names looked up without regard to letter case, and the folders listed for them.
    std::unordered_map<std::string, std::optional<fs::path>> resolvedNames;
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> folderNames;
    // Real paths judged for links below the allowed root.
    std::unordered_map<std::string, bool> linkFree;
};

thread_local LoadState* t_state = nullptr;

int currentLine(xmlParserCtxtPtr ctxt) {
    return (ctxt != nullptr && ctxt->input != nullptr) ? ctxt->input->line : 0;
}

std::string oneLine(const char* msg) {
    std::string s = msg ? msg : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    std::string r;
    r.reserve(s.size());
    for (char c : s) {
        if (c == '\r') continue;
        r += c == '\n' ? ' ' : c;
    }
    return r;
}

void record(LoadState& st, int code, int line, std::string reason) {
    if (st.hasError) return;
    st.hasError = true;
    st.first.errorCode = code > 0 ? -code : (code == 0 ? -1 : code);
    st.first.line = line;
    st.first.reason = oneLine(reason.c_str());
}

std::string fileNameOf(const std::string& path) { return displayName(fsPath(path).filename().string()); }

std::string japaneseReason(const xmlError& e, bool inOtherFile) {
    const std::string msg = e.message ? e.message : "";
    switch (e.code) {
        case XML_ERR_UNSUPPORTED_ENCODING:
        case XML_ERR_UNKNOWN_ENCODING:
            return "宣言された文字コードに対応していません";
        case XML_I18N_CONV_FAILED:
        case XML_I18N_NO_HANDLER:
        case XML_I18N_NO_NAME:
        case XML_ERR_INVALID_ENCODING:
            return "文字コードが正しくありません";
        case XML_ERR_INVALID_CHAR:
            if (msg.find("not proper UTF-8") != std::string::npos ||
                msg.find("Document labelled") != std::string::npos)
                return "文字コードが正しくありません";
            return "XMLで使用できない文字があります";
        case XML_ERR_ENTITY_LOOP:
        case XML_ERR_ENTITY_BOUNDARY:
            return "実体参照の展開が上限を超えました";
        case XML_ERR_UNDECLARED_ENTITY:
        case XML_WAR_UNDECLARED_ENTITY:
            return "宣言されていない実体参照があります";
        case XML_ERR_DOCUMENT_EMPTY:
            return "XMLの内容がありません";
        case XML_DTD_UNKNOWN_ELEM:
            return "DTDで宣言されていない要素です";
        case XML_DTD_CONTENT_MODEL:
        case XML_DTD_NOT_EMPTY:
        case XML_DTD_NOT_PCDATA:
        case XML_DTD_CONTENT_ERROR:
        case XML_DTD_INVALID_CHILD:
            return "要素の内容がDTDの定義に合っていません";
        case XML_DTD_UNKNOWN_ATTRIBUTE:
            return "DTDで宣言されていない属性です";
        case XML_DTD_MISSING_ATTRIBUTE:
            return "必要な属性がありません";
        case XML_DTD_ATTRIBUTE_VALUE:
            return "属性の値がDTDの定義に合っていません";
        case XML_DTD_ROOT_NAME:
            return "ルート要素の名前が文書型宣言と一致しません";
        case XML_DTD_NO_DTD:
            return "DTDに宣言がありません";
        default:
            break;
    }
    if (e.domain == XML_FROM_VALID) return "DTDの定義に合っていません";
    if (inOtherFile) return "DTDまたは外部実体の形式が正しくありません";
    if (e.domain == XML_FROM_DTD) return "DTDの定義に誤りがあります";
    if (e.domain == XML_FROM_IO) return "ファイルを読み込めません";
    return "XMLの形式が正しくありません";
}

void onStructuredError(void*, xmlErrorPtr e) {
    LoadState* st = t_state;
    if (st == nullptr || e == nullptr || e->level < XML_ERR_ERROR || st->hasError) return;
    // A document without a document type declaration is not validated.
    if (e->code == XML_DTD_NO_DTD && !st->hasDoctype) return;
    const bool inOtherFile = e->file != nullptr && st->docPath != e->file;
    std::string reason = japaneseReason(*e, inOtherFile) + ": " + oneLine(e->message);
    if (inOtherFile) reason += " (" + fileNameOf(e->file) + ")";
    // Errors inside entity text come from a context of their own, counting lines from
    // the entity's start; place them at the reference in the document instead.
    int line = e->line;
    if (e->file == nullptr && e->ctxt != st->mainCtxt && st->mainCtxt != nullptr)
        line = currentLine(st->mainCtxt);
    record(*st, e->code, line, std::move(reason));
}

void onGenericError(void*, const char*, ...) {}

// ---- External files ------------------------------------------------------------

bool hasUrlScheme(std::string_view s, std::string& scheme) {
    size_t i = 0;
    while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '+' || s[i] == '-' ||
                            s[i] == '.'))
        ++i;
    // One letter before ':' is a drive, not a scheme.
    if (i < 2 || i >= s.size() || s[i] != ':' || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    scheme = upper(s.substr(0, i));
    return true;
}

std::string percentDecode(std::string_view s) {
    std::string r;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            r += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            r += s[i];
        }
    }
    return r;
}

// The existing entry for `p`, matching each missing component without regard to ASCII
// letter case (files copied from Windows media differ in case from their references).
// Each name is looked up once per load, and each folder listed at most once.
std::optional<fs::path> findNoCase(const fs::path& p, LoadState& st) {
    const auto known = st.resolvedNames.find(p.string());
    if (known != st.resolvedNames.end()) return known->second;
    std::optional<fs::path> result;
    // Names go to the system as the program's own (UTF-8) text: through lstat and the
    // platform listing rather than through fs::path's conversions.
    auto exists = [](const fs::path& q) {
        struct stat ls {};
        return ::lstat(q.string().c_str(), &ls) == 0;
    };
    if (exists(p)) {
        result = p;
    } else {
        fs::path cur = p.root_path();
        bool found = true;
        for (const fs::path& comp : p.relative_path()) {
            fs::path next = cur / comp;
            if (!exists(next)) {
                auto listed = st.folderNames.find(cur.string());
                if (listed == st.folderNames.end()) {
                    // Upper-cased name -> the least name of that spelling in the folder.
                    std::unordered_map<std::string, std::string> names;
                    for (DirEntry& e : listFolderNames(cur.string()).entries) {
                        std::string name = std::move(e.raw);
                        auto [slot, added] = names.try_emplace(upper(name), name);
                        if (!added && name < slot->second) slot->second = std::move(name);
                    }
                    listed = st.folderNames.emplace(cur.string(), std::move(names)).first;
                }
                const auto hit = listed->second.find(upper(comp.string()));
                if (hit == listed->second.end()) {
                    found = false;
                    break;
                }
                next = cur / fsPath(hit->second);
            }
            cur = next;
        }
        if (found) result = cur;
    }
    st.resolvedNames.emplace(p.string(), result);
    return result;
}

bool insideRoot(const std::string& real, const std::string& root) {
    if (root.empty()) return false;
    if (real == root) return true;
    // Below root: root's text, then a separator ("/" here; on Windows also "\").
    const char sep = nativeSeparator();
    if (real.compare(0, root.size(), root) != 0) return false;
    if (root.back() == '/' || root.back() == sep) return true;
    return real.size() > root.size() && (real[root.size()] == '/' || real[root.size()] == sep);
}

std::string realPath(const std::string& p) {
    char* r = ::realpath(p.c_str(), nullptr);
    if (r == nullptr) return "";
    std::string s(r);
    std::free(r);
    return s;
}

enum class ReadResult { Ok, Missing, Link, NotPlain, TooLarge, Failed };

// The system's error number of the last read that ended in ReadResult::Failed.
thread_local int t_readErrno = 0;

// A failure given by a test in place of the system's answer (setXmlReadFaultForTesting).
std::atomic<XmlReadFault> g_readFault{nullptr};

// Opens a regular file for reading, without following a link in its last component and
// without waiting on a named pipe or device; not one larger than maxBytes. On Ok, fd is
// open and st holds the file's status.
ReadResult openPlainFile(const std::string& path, uint64_t maxBytes, int& fd, struct stat& st) {
    if (const XmlReadFault fault = g_readFault.load(std::memory_order_relaxed)) {
        if (const int err = fault(path)) {
            fd = -1;
            t_readErrno = err;
            return err == ENOENT || err == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
        }
    }
    fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP) return ReadResult::Link;
        t_readErrno = errno;
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    }
    ReadResult result = ReadResult::Ok;
    if (::fstat(fd, &st) != 0) {
        t_readErrno = errno;
        result = ReadResult::Failed;
    }
    else if (!S_ISREG(st.st_mode)) result = ReadResult::NotPlain;
    else if (static_cast<uint64_t>(st.st_size) > maxBytes) result = ReadResult::TooLarge;
    if (result != ReadResult::Ok) {
        ::close(fd);
        fd = -1;
    }
    return result;
}

// Reads a file opened by openPlainFile whole, at most maxBytes.
ReadResult readOpenFile(int fd, const struct stat& st, std::string& out, uint64_t maxBytes) {
    // The size as listed and one byte more, so that the end is seen at once; a file that
    // grows while it is read is read up to the bound.
    out.resize(static_cast<size_t>(st.st_size) + 1);
    ReadResult result = ReadResult::Ok;
    size_t have = 0;
    for (;;) {
        if (have == out.size()) {
            if (out.size() > maxBytes) {
                result = ReadResult::TooLarge;
                break;
            }
            out.resize(out.size() + 65536);
        }
        const ssize_t n = ::read(fd, out.data() + have, out.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            t_readErrno = errno;
            result = ReadResult::Failed;
            break;
        }
        if (n == 0) break;
        have += static_cast<size_t>(n);
    }
    out.resize(result == ReadResult::Ok ? have : 0);
    if (have > maxBytes) {
        result = ReadResult::TooLarge;
        out.clear();
    }
    return result;
}

std::string readFailure(ReadResult r, const std::string& what, const std::string& path) {
    switch (r) {
        case ReadResult::Missing: return what + "が見つかりません: " + path;
        case ReadResult::Link: return "シンボリックリンクの" + what + "は読み込みません: " + path;
        case ReadResult::NotPlain: return what + "が通常のファイルではありません: " + path;
        case ReadResult::TooLarge:
            return what + "が大きすぎます(上限" + std::to_string(kMaxXmlFileBytes >> 20) + "MB): " + path;
        default: return what + "を読み込めません（" + qm::readFailureReason(t_readErrno) + "）: " + path;
    }
}

int readFailureCode(ReadResult r) {
    switch (r) {
        case ReadResult::Missing: return XML_IO_ENOENT;
        case ReadResult::Link:
        case ReadResult::NotPlain: return XML_IO_EACCES;
        default: return XML_IO_EIO;
    }
}

// Brings an external file to UTF-8. A file with a byte order mark or an encoding
// declaration is decoded as it says; one without is taken as UTF-8 when it is valid
// UTF-8, else in the encoding of the document that refers to it. A declared encoding is
// rewritten to "UTF-8" so that the parser does not decode again.
bool externalToUtf8(const std::string& bytes, const std::string& docEncoding, std::string& out,
                    std::string& why) {
    std::string from;
    std::string_view body = bytes;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") {
        body.remove_prefix(3);
        from = "UTF-8";
    } else if (body.substr(0, 2) == "\xFF\xFE") {
        body.remove_prefix(2);
        from = "UTF-16LE";
    } else if (body.substr(0, 2) == "\xFE\xFF") {
        body.remove_prefix(2);
        from = "UTF-16BE";
    } else if (body.substr(0, 4) == std::string_view("<\0?\0", 4)) {
        from = "UTF-16LE";
    } else if (body.substr(0, 4) == std::string_view("\0<\0?", 4)) {
        from = "UTF-16BE";
    } else {
        const Declaration d = scanDeclarationText(body.substr(0, 1024));
        if (d.hasEncoding && !isUtf16Name(d.encoding))
            from = iconvName(d.encoding);
        else if (validUtf8(body))
            from = "UTF-8";
        else if (!docEncoding.empty() && !isUtf8Name(docEncoding) && !isUtf16Name(docEncoding))
            from = iconvName(docEncoding);
        else
            from = "UTF-8";
    }
    if (from == "UTF-8") {
        if (!validUtf8(body)) {
            why = "文字コードが正しくありません: UTF-8として読めないバイトがあります";
            return false;
        }
        out.assign(body);
    } else {
        switch (toUtf8(body, from, out)) {
            case Conv::Ok:
                break;
            case Conv::UnknownEncoding:
                why = "宣言された文字コードに対応していません: " + from;
                return false;
            case Conv::BadBytes: {
                size_t lines = 1;
                for (char c : out) lines += c == '\n';
                why = "文字コードが正しくありません: " + from + "として読めないバイトがあります(" +
                      std::to_string(lines) + "行)";
                return false;
            }
        }
    }
    const Declaration d = scanDeclarationText(std::string_view(out).substr(0, 1024));
    if (d.hasEncoding) out.replace(d.encodingPos, d.encodingLen, "UTF-8");
    return true;
}

// Whether no entry on the way from the allowed root down to `p` is a symbolic link: a
// link inside the medium is never followed, wherever it leads.
bool linkFreeBelowRoot(const fs::path& p, LoadState& st) {
    const auto known = st.linkFree.find(p.string());
    if (known != st.linkFree.end()) return known->second;
    bool free = true;
    for (fs::path cur = p; free && !cur.empty() && cur != cur.root_path(); cur = cur.parent_path()) {
        // An entry is the medium's own when the folder holding it is the root or below.
        const std::string holder = realPath(cur.parent_path().string());
        if (holder.empty() || !insideRoot(holder, st.rootReal)) break;
        struct stat ls {};
        free = ::lstat(cur.string().c_str(), &ls) == 0 && !S_ISLNK(ls.st_mode);
    }
    st.linkFree.emplace(p.string(), free);
    return free;
}

xmlExternalEntityLoader g_previousLoader = nullptr;

// A folder path in the form the image checks compare: absolute, without separators at
// the end.
std::string imageFolderForm(const std::string& path) {
    std::string s = fs::path(path).lexically_normal().string();
    while (s.size() > 1 && (s.back() == '/' || s.back() == nativeSeparator())) s.pop_back();
    return s;
}

// The text of a failed read from a disc image, as readFailure() words it for a file.
std::string imageReadFailure(ImageRead r, const std::string& what, const std::string& shown,
                             const std::string& reason) {
    switch (r) {
        case ImageRead::Missing: return readFailure(ReadResult::Missing, what, shown);
        case ImageRead::NotPlain: return readFailure(ReadResult::NotPlain, what, shown);
        case ImageRead::TooLarge: return readFailure(ReadResult::TooLarge, what, shown);
        default: return what + "を読み込めません（" + reason + "）: " + shown;
    }
}

int imageReadFailureCode(ImageRead r) {
    return r == ImageRead::Missing ? XML_IO_ENOENT : r == ImageRead::NotPlain ? XML_IO_EACCES : XML_IO_EIO;
}

// The parser input of an external file's bytes: decoded to UTF-8 as the document
// declares, counted against the load's budget, named by its path for loop detection.
xmlParserInputPtr externalInput(LoadState& st, xmlParserCtxtPtr ctxt, std::string& bytes, const std::string& real,
                                int line, const std::string& overBudget) {
    std::string text, why;
    if (!externalToUtf8(bytes, st.docEncoding, text, why)) {
        record(st, XML_I18N_CONV_FAILED, line, why + " (" + fileNameOf(real) + ")");
        return nullptr;
    }
    bytes = std::string();
    st.externalBytes += text.size();
    if (st.externalBytes > kMaxXmlExternalBytes || text.size() > static_cast<size_t>(INT_MAX)) {
        record(st, XML_ERR_USER_STOP, line, overBudget);
        return nullptr;
    }
    xmlParserInputBufferPtr buf =
        xmlParserInputBufferCreateMem(text.data(), static_cast<int>(text.size()), XML_CHAR_ENCODING_NONE);
    if (buf == nullptr) return nullptr;
    xmlParserInputPtr input = xmlNewIOInputStream(ctxt, buf, XML_CHAR_ENCODING_NONE);
    if (input == nullptr) {
        xmlFreeParserInputBuffer(buf);
        return nullptr;
    }
    input->filename = reinterpret_cast<const char*>(xmlStrdup(reinterpret_cast<const xmlChar*>(real.c_str())));
    return input;
}

// openExternal() for a document inside a disc image: the file is looked up in the same
// image, below the allowed root, and read from it. An image holds no links and does not
// change while it is open, so its files are not stamped for the kept documents.
xmlParserInputPtr openImageExternal(const fs::path& p, const std::string& what, bool isDtd, int line,
                                    xmlParserCtxtPtr ctxt, LoadState& st) {
    const std::string wanted = p.string();
    const std::string& root = st.rootReal;
    if (!insideRoot(wanted, root) || imageFileOf(wanted) != imageFileOf(root)) {
        record(st, XML_IO_EACCES, line,
               "許可されたフォルダの外にある" + what + "の読み込みを拒否しました: " + displayName(wanted));
        return nullptr;
    }
    const std::string rel = wanted.size() > root.size() ? wanted.substr(root.size() + 1) : std::string();
    const std::optional<std::string> found = resolveRel(withTrailingSeparator(root), rel, EntryKind::Any);
    if (!found) {
        record(st, XML_IO_ENOENT, line, what + "が見つかりません: " + displayName(wanted));
        return nullptr;
    }
    const std::string& real = *found;
    const std::string shown = displayName(real);
    if (!isDtd && (ctxt == nullptr || ctxt->inSubset == 0)) {
        record(st, XML_IO_EACCES, line, "要素の内容での外部実体ファイルの参照は許可されていません: " + shown);
        return nullptr;
    }
    for (xmlParserCtxtPtr c : {ctxt, st.mainCtxt}) {
        if (c == nullptr) continue;
        for (int i = 0; i < c->inputNr; ++i) {
            const xmlParserInputPtr in = c->inputTab[i];
            if (in != nullptr && in->filename != nullptr && real == in->filename) {
                record(st, XML_ERR_ENTITY_LOOP, line, what + "の参照が循環しています: " + shown);
                return nullptr;
            }
        }
    }
    // Each file of the image is handed to the parser once per load, as on a folder.
    if (!st.externalsRead.emplace(UINT64_MAX, std::hash<std::string>{}(upperAscii(real))).second) {
        record(st, XML_ERR_USER_STOP, line, what + "が2回以上参照されています: " + shown);
        return nullptr;
    }
    const uint64_t left = kMaxXmlExternalBytes - std::min(st.externalBytes, kMaxXmlExternalBytes);
    const std::string overBudget = "DTDと外部実体ファイルから読み込む量が上限(" +
                                   std::to_string(kMaxXmlExternalBytes >> 20) + "MB)を超えました: " + shown;
    std::string bytes, reason;
    const ImageRead read = readImageFile(real, std::min(left, kMaxXmlFileBytes), bytes, reason);
    if (read == ImageRead::TooLarge) {
        record(st, XML_ERR_USER_STOP, line, left < kMaxXmlFileBytes ? overBudget : readFailure(ReadResult::TooLarge, what, shown));
        return nullptr;
    }
    if (read != ImageRead::Ok) {
        record(st, imageReadFailureCode(read), line, imageReadFailure(read, what, shown, reason));
        return nullptr;
    }
    return externalInput(st, ctxt, bytes, real, line, overBudget);
}

// Opens a DTD or external entity named by `ref` (a path or URL), relative to `base`.
xmlParserInputPtr openExternal(const char* ref, const char* base, xmlParserCtxtPtr ctxt) {
    LoadState* st = t_state;
    if (st == nullptr) {
        // Not one of our loads: allow plain local files only.
        std::string scheme;
        if (ref == nullptr || (hasUrlScheme(ref, scheme) && scheme != "FILE")) return nullptr;
        return g_previousLoader ? g_previousLoader(ref, nullptr, ctxt) : nullptr;
    }
    const bool isDtd = st->inExternalSubset;
    const std::string what = isDtd ? "DTDファイル" : "外部実体ファイル";
    // Entities are parsed in contexts of their own; their position is the document's.
    const int line = currentLine(ctxt) > 0 ? currentLine(ctxt) : currentLine(st->mainCtxt);
    if (ref == nullptr || *ref == '\0') {
        record(*st, XML_IO_LOAD_ERROR, line, what + "の指定が正しくありません");
        return nullptr;
    }
    std::string target = ref;
    std::string scheme;
    if (hasUrlScheme(target, scheme)) {
        if (scheme != "FILE") {
            record(*st, XML_IO_NETWORK_ATTEMPT, line, "URLで指定された" + what + "の読み込みを拒否しました: " + displayName(target));
            return nullptr;
        }
        std::string rest = target.substr(5);
        if (rest.rfind("//localhost/", 0) == 0) rest = rest.substr(11);
        else if (rest.rfind("///", 0) == 0) rest = rest.substr(2);
        else if (rest.rfind("//", 0) == 0) {
            record(*st, XML_IO_NETWORK_ATTEMPT, line, "URLで指定された" + what + "の読み込みを拒否しました: " + displayName(target));
            return nullptr;
        }
        target = percentDecode(rest);
    }
    fs::path p = fsPath(target);
    if (p.is_relative()) {
        fs::path b = (base != nullptr && *base != '\0') ? fsPath(base) : fsPath(st->docPath);
        if (!b.is_absolute()) b = fsPath(st->docPath);
        p = b.parent_path() / p;
    }
    p = p.lexically_normal();
    if (liesInImage(st->docPath)) return openImageExternal(p, what, isDtd, line, ctxt, *st);
    const std::optional<fs::path> found = findNoCase(p, *st);
    if (!found) {
        record(*st, XML_IO_ENOENT, line, what + "が見つかりません: " + displayName(p.string()));
        return nullptr;
    }
    const std::string shown = displayName(found->string());
    const std::string real = realPath(found->string());
    if (real.empty() || !insideRoot(real, st->rootReal)) {
        record(*st, XML_IO_EACCES, line, "許可されたフォルダの外にある" + what + "の読み込みを拒否しました: " + shown);
        return nullptr;
    }
    if (!linkFreeBelowRoot(*found, *st)) {
        record(*st, XML_IO_EACCES, line, readFailure(ReadResult::Link, what, shown));
        return nullptr;
    }
    // Management files have no use for external general entities, and each reference to
    // one would copy its whole text into the tree again.
    if (!isDtd && (ctxt == nullptr || ctxt->inSubset == 0)) {
        record(*st, XML_IO_EACCES, line, "要素の内容での外部実体ファイルの参照は許可されていません: " + shown);
        return nullptr;
    }
    // A file that is being read already (a DTD that includes itself, entities that refer
    // to each other) would nest copies of itself.
    for (xmlParserCtxtPtr c : {ctxt, st->mainCtxt}) {
        if (c == nullptr) continue;
        for (int i = 0; i < c->inputNr; ++i) {
            const xmlParserInputPtr in = c->inputTab[i];
            if (in != nullptr && in->filename != nullptr && real == in->filename) {
                record(*st, XML_ERR_ENTITY_LOOP, line, what + "の参照が循環しています: " + shown);
                return nullptr;
            }
        }
    }
    int fd = -1;
    struct stat fileStatus {};
    ReadResult read = openPlainFile(real, kMaxXmlFileBytes, fd, fileStatus);
    if (read != ReadResult::Ok) {
        record(*st, readFailureCode(read), line, readFailure(read, what, shown));
        return nullptr;
    }
    // The parser parses an entity's text again at every reference; a file is handed to it
    // once per load (by whatever name, hard links included), so that a few references
    // cannot make it parse gigabytes.
    if (!st->externalsRead.emplace(static_cast<uint64_t>(fileStatus.st_dev), static_cast<uint64_t>(fileStatus.st_ino))
             .second) {
        ::close(fd);
        record(*st, XML_ERR_USER_STOP, line, what + "が2回以上参照されています: " + shown);
        return nullptr;
    }
    const uint64_t left = kMaxXmlExternalBytes - std::min(st->externalBytes, kMaxXmlExternalBytes);
    const std::string overBudget = "DTDと外部実体ファイルから読み込む量が上限(" +
                                   std::to_string(kMaxXmlExternalBytes >> 20) + "MB)を超えました: " + shown;
    if (static_cast<uint64_t>(fileStatus.st_size) > left) {
        ::close(fd);
        record(*st, XML_ERR_USER_STOP, line, overBudget);
        return nullptr;
    }
    std::string bytes;
    read = readOpenFile(fd, fileStatus, bytes, left);
    ::close(fd);
    if (read == ReadResult::TooLarge) {  // grew while it was read
        record(*st, XML_ERR_USER_STOP, line, overBudget);
        return nullptr;
    }
    if (read != ReadResult::Ok) {
        record(*st, readFailureCode(read), line, readFailure(read, what, shown));
        return nullptr;
    }
    FileStamp stamp;
    fillStamp(fileStatus, stamp);
    stamp.path = real;
    st->externals.push_back(std::move(stamp));
    return externalInput(*st, ctxt, bytes, real, line, overBudget);
}

// The process-wide loader: external entities whose URL the parser built itself.
xmlParserInputPtr externalEntityLoader(const char* url, const char*, xmlParserCtxtPtr ctxt) {
    const char* base = (ctxt != nullptr && ctxt->input != nullptr) ? ctxt->input->filename : nullptr;
    return openExternal(url, base, ctxt);
}

// The document type's external subset: resolved here from the system identifier as
// written, relative to the document, without the parser's URI building.
xmlParserInputPtr resolveEntity(void* ctx, const xmlChar* publicId, const xmlChar* systemId) {
    (void)publicId;
    auto ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    if (systemId == nullptr) return nullptr;
    const char* base = (ctxt != nullptr && ctxt->input != nullptr) ? ctxt->input->filename : nullptr;
    return openExternal(reinterpret_cast<const char*>(systemId), base, ctxt);
}

// Stops the parser of this load (and of the entity being parsed, if any).
void stopParsers(LoadState& st, void* ctx) {
    auto ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    if (ctxt != nullptr) xmlStopParser(ctxt);
    if (st.mainCtxt != nullptr && st.mainCtxt != ctxt) xmlStopParser(st.mainCtxt);
}

// Counts what the tree is given and stops the parser past the bounds of xmldoc.h, so
// that the tree of a hostile document stays within bounded memory. Answers false when
// the parser was stopped.
bool withinBounds(LoadState& st, void* ctx, bool isElement, uint64_t content) {
    st.contentBytes += content;
    const uint64_t maxContent = kXmlContentAllowance + kXmlContentPerByteRead * st.documentBytes;
    std::string why;
    if (st.nodes > kMaxXmlElements) {
        why = isElement ? "要素の数が上限(" + std::to_string(kMaxXmlElements) + ")を超えています"
                        : "要素、コメント及び処理命令の数が上限(" + std::to_string(kMaxXmlElements) + ")を超えています";
    } else if (st.contentBytes > maxContent) {
        why = "展開後の内容(文字データ、既定値を含む属性値、コメント、処理命令)が大きすぎます(上限" +
              std::to_string(maxContent >> 20) + "MB)";
    } else {
        return true;
    }
    record(st, XML_ERR_USER_STOP, currentLine(st.mainCtxt), why);
    stopParsers(st, ctx);
    return false;
}

void startElementNs(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri, int nbNamespaces,
                    const xmlChar** namespaces, int nbAttributes, int nbDefaulted, const xmlChar** attributes) {
    xmlSAX2StartElementNs(ctx, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes, nbDefaulted,
                          attributes);
    LoadState* st = t_state;
    if (st == nullptr) return;
    ++st->nodes;
    // Attributes come as five pointers each: name, prefix, URI, value and value end; the
    // defaulted ones (copies of the DTD's defaults) are among them.
    uint64_t values = 0;
    for (int i = 0; attributes != nullptr && i < nbAttributes; ++i)
        values += static_cast<uint64_t>(attributes[i * 5 + 4] - attributes[i * 5 + 3]);
    withinBounds(*st, ctx, true, values);
}

void comment(void* ctx, const xmlChar* value) {
    LoadState* st = t_state;
    if (st != nullptr) {
        ++st->nodes;
        if (!withinBounds(*st, ctx, false, static_cast<uint64_t>(xmlStrlen(value)))) return;
    }
    xmlSAX2Comment(ctx, value);
}

void processingInstruction(void* ctx, const xmlChar* target, const xmlChar* data) {
    LoadState* st = t_state;
    if (st != nullptr) {
        ++st->nodes;
        const uint64_t size = static_cast<uint64_t>(xmlStrlen(target)) + static_cast<uint64_t>(xmlStrlen(data));
        if (!withinBounds(*st, ctx, false, size)) return;
    }
    xmlSAX2ProcessingInstruction(ctx, target, data);
}

void internalSubset(void* ctx, const xmlChar* name, const xmlChar* externalId, const xmlChar* systemId) {
    if (t_state != nullptr) t_state->hasDoctype = true;
    xmlSAX2InternalSubset(ctx, name, externalId, systemId);
}

// Character data for the tree. Notes whether any of it is white space alone: only then
// can the tree hold a text node of white space alone for dropBlankTextNodes to remove.
void characters(void* ctx, const xmlChar* ch, int len) {
    LoadState* st = t_state;
    if (st != nullptr && !st->blankText) {
        bool blank = true;
        for (int i = 0; i < len && blank; ++i)
            blank = ch[i] == ' ' || ch[i] == '\t' || ch[i] == '\r' || ch[i] == '\n';
        if (blank) st->blankText = true;
    }
    if (st != nullptr && !withinBounds(*st, ctx, false, len > 0 ? static_cast<uint64_t>(len) : 0)) return;
    if (st != nullptr && st->characters != nullptr) st->characters(ctx, ch, len);
    else xmlSAX2Characters(ctx, ch, len);
}

void externalSubset(void* ctx, const xmlChar* name, const xmlChar* externalId, const xmlChar* systemId) {
    LoadState* st = t_state;
    if (st != nullptr) st->inExternalSubset = true;
    xmlSAX2ExternalSubset(ctx, name, externalId, systemId);
    if (st != nullptr) st->inExternalSubset = false;
}

// ---- Library set-up --------------------------------------------------------------

// libxml2's input conversion for CP932: bytes written, or -2 at bytes that are not
// CP932 (consumed up to them). A lead byte at the end of the chunk is left for the next.
int cp932Input(unsigned char* out, int* outlen, const unsigned char* in, int* inlen) {
    if (out == nullptr || outlen == nullptr || inlen == nullptr) return -1;
    if (in == nullptr || *inlen <= 0 || *outlen <= 0) {
        *inlen = 0;
        *outlen = 0;
        return 0;
    }
    size_t used = 0, written = 0;
    const Cp932Stop stop =
        decodeCp932(in, static_cast<size_t>(*inlen), out, static_cast<size_t>(*outlen), used, written);
    *inlen = static_cast<int>(used);
    *outlen = static_cast<int>(written);
    return stop == Cp932Stop::Invalid ? -2 : *outlen;
}

#ifdef _WIN32
// The Windows libxml2 has no iconv: EUC-JP, the other Japanese encoding a document may
// declare, is decoded by the system's code page 20932 as the Linux build decodes it by iconv.
int eucJpInput(unsigned char* out, int* outlen, const unsigned char* in, int* inlen) {
    if (out == nullptr || outlen == nullptr || inlen == nullptr) return -1;
    if (in == nullptr || *inlen <= 0 || *outlen <= 0) {
        *inlen = 0;
        *outlen = 0;
        return 0;
    }
    static const iconv_t cd = iconv_open("UTF-8", "EUC-JP");
    char* src = reinterpret_cast<char*>(const_cast<unsigned char*>(in));
    char* dst = reinterpret_cast<char*>(out);
    size_t left = static_cast<size_t>(*inlen), room = static_cast<size_t>(*outlen);
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    *inlen -= static_cast<int>(left);
    *outlen -= static_cast<int>(room);
    // An incomplete character at the end comes again with the bytes that follow it.
    return r == static_cast<size_t>(-1) && errno == EILSEQ ? -2 : *outlen;
}
#endif

std::once_flag g_initOnce;

void initLibrary() {
    std::call_once(g_initOnce, [] {
        xmlInitParser();
        for (const char* n : kShiftJisNames) xmlAddEncodingAlias("CP932", n);
        // CP932 is decoded by our own tables rather than through iconv (same characters,
        // same bytes refused, several times faster); the handler registers itself.
        if (hasCp932Decoder()) xmlNewCharEncodingHandler("CP932", cp932Input, nullptr);
#ifdef _WIN32
        if (iconv_t cd = iconv_open("UTF-8", "EUC-JP"); cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
            xmlNewCharEncodingHandler("EUC-JP", eucJpInput, nullptr);
        }
#endif
        g_previousLoader = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(externalEntityLoader);
    });
}

// Redirects the thread's libxml2 error output to this load for its duration.
class ErrorScope {
public:
    explicit ErrorScope(LoadState* st)
        : prevState_(t_state),
          prevStructured_(xmlStructuredError),
          prevStructuredCtx_(xmlStructuredErrorContext),
          prevGeneric_(xmlGenericError),
          prevGenericCtx_(xmlGenericErrorContext) {
        t_state = st;
        xmlSetStructuredErrorFunc(nullptr, onStructuredError);
        xmlSetGenericErrorFunc(nullptr, onGenericError);
    }
    ~ErrorScope() {
        xmlSetStructuredErrorFunc(prevStructuredCtx_, prevStructured_);
        xmlSetGenericErrorFunc(prevGenericCtx_, prevGeneric_);
        t_state = prevState_;
    }
    ErrorScope(const ErrorScope&) = delete;
    ErrorScope& operator=(const ErrorScope&) = delete;

private:
    LoadState* prevState_;
    xmlStructuredErrorFunc prevStructured_;
    void* prevStructuredCtx_;
    xmlGenericErrorFunc prevGeneric_;
    void* prevGenericCtx_;
};

// ---- Nodes ---------------------------------------------------------------------

inline xmlNodePtr N(void* p) { return static_cast<xmlNodePtr>(p); }

bool hasPrefixedName(int type) { return type == XML_ELEMENT_NODE || type == XML_ATTRIBUTE_NODE; }

// Node kinds that appear as child nodes.
bool isListed(xmlNodePtr c, int parentType) {
    switch (c->type) {
        case XML_ELEMENT_NODE:
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_PI_NODE:
        case XML_COMMENT_NODE:
            return true;
        case XML_DTD_NODE:
            return parentType == XML_DOCUMENT_NODE;
        default:
            return false;
    }
}

bool canHaveChildren(int type) {
    return type == XML_ELEMENT_NODE || type == XML_DOCUMENT_NODE || type == XML_ATTRIBUTE_NODE;
}

const char* str(const xmlChar* s) { return s ? reinterpret_cast<const char*>(s) : ""; }

std::string qualifiedName(xmlNodePtr n) {
    std::string name = str(n->name);
    if (hasPrefixedName(n->type) && n->ns != nullptr && n->ns->prefix != nullptr)
        return str(n->ns->prefix) + (":" + name);
    return name;
}

bool nameIs(xmlNodePtr n, std::string_view want) {
    const char* local = str(n->name);
    if (n->ns != nullptr && n->ns->prefix != nullptr) {
        const std::string_view prefix = str(n->ns->prefix);
        return want.size() == prefix.size() + 1 + std::strlen(local) && want.substr(0, prefix.size()) == prefix &&
               want[prefix.size()] == ':' && want.substr(prefix.size() + 1) == local;
    }
    return want == local;
}

void appendCharacterData(xmlNodePtr n, std::string& out) {
    // Iterative walk: deep documents must not exhaust the stack.
    xmlNodePtr cur = n->children;
    while (cur != nullptr) {
        if (cur->type == XML_TEXT_NODE || cur->type == XML_CDATA_SECTION_NODE) {
            out += str(cur->content);
        } else if (cur->type == XML_ELEMENT_NODE && cur->children != nullptr) {
            cur = cur->children;
            continue;
        }
        while (cur->next == nullptr) {
            cur = cur->parent;
            if (cur == nullptr || cur == n) return;
        }
        cur = cur->next;
    }
}

std::string attributeValue(xmlAttrPtr a) {
    std::string v;
    for (xmlNodePtr c = a->children; c != nullptr; c = c->next)
        if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) v += str(c->content);
    return v;
}

bool isBlankText(const xmlChar* s) {
    if (s == nullptr) return true;
    for (; *s != 0; ++s)
        if (*s != ' ' && *s != '\t' && *s != '\r' && *s != '\n') return false;
    return true;
}

// Text nodes of white space alone do not count as data: the parser drops them between
// elements of element content already; this also removes them from text-only and mixed
// content (an element holding only blanks has no child nodes), except under
// xml:space="preserve".
void dropBlankTextNodes(xmlDocPtr doc) {
    std::vector<std::pair<xmlNodePtr, bool>> stack;
    for (xmlNodePtr c = doc->children; c != nullptr; c = c->next)
        if (c->type == XML_ELEMENT_NODE) stack.emplace_back(c, false);
    while (!stack.empty()) {
        auto [element, preserve] = stack.back();
        stack.pop_back();
        if (element->properties != nullptr) {
            xmlChar* space = xmlGetNsProp(element, reinterpret_cast<const xmlChar*>("space"), XML_XML_NAMESPACE);
            if (space != nullptr) {
                if (xmlStrEqual(space, reinterpret_cast<const xmlChar*>("preserve"))) preserve = true;
                else if (xmlStrEqual(space, reinterpret_cast<const xmlChar*>("default"))) preserve = false;
                xmlFree(space);
            }
        }
        xmlNodePtr c = element->children;
        while (c != nullptr) {
            xmlNodePtr next = c->next;
            if (c->type == XML_ELEMENT_NODE) {
                stack.emplace_back(c, preserve);
            } else if (!preserve && c->type == XML_TEXT_NODE && isBlankText(c->content)) {
                xmlUnlinkNode(c);
                xmlFreeNode(c);
            }
            c = next;
        }
    }
}

}  // namespace

// ---- XmlNode -------------------------------------------------------------------

int XmlNode::nodeType() const {
    if (node_ == nullptr) return kXmlOther;
    switch (N(node_)->type) {
        case XML_ELEMENT_NODE: return kXmlElement;
        case XML_ATTRIBUTE_NODE: return kXmlAttribute;
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE: return kXmlText;
        case XML_PI_NODE: return kXmlProcessingInstruction;
        case XML_COMMENT_NODE: return kXmlComment;
        case XML_DTD_NODE: return kXmlDocumentType;
        case XML_DOCUMENT_NODE:
        case XML_HTML_DOCUMENT_NODE: return kXmlDocument;
        default: return kXmlOther;
    }
}

std::string XmlNode::nodeName() const {
    if (node_ == nullptr) return "";
    xmlNodePtr n = N(node_);
    switch (n->type) {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE: return qualifiedName(n);
        case XML_PI_NODE:
        case XML_DTD_NODE: return str(n->name);
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE: return "#text";
        case XML_COMMENT_NODE: return "#comment";
        case XML_DOCUMENT_NODE:
        case XML_HTML_DOCUMENT_NODE: return "#document";
        default: return "";
    }
}

std::string XmlNode::baseName() const {
    if (node_ == nullptr) return "";
    xmlNodePtr n = N(node_);
    switch (n->type) {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE:
        case XML_PI_NODE:
        case XML_DTD_NODE: return str(n->name);
        default: return "";
    }
}

std::vector<XmlNode> XmlNode::childNodes() const {
    std::vector<XmlNode> out;
    if (node_ == nullptr || !canHaveChildren(N(node_)->type)) return out;
    const int type = N(node_)->type;
    for (xmlNodePtr c = N(node_)->children; c != nullptr; c = c->next)
        if (isListed(c, type)) out.push_back(XmlNode(c));
    return out;
}

bool XmlNode::hasChildNodes() const {
    if (node_ == nullptr || !canHaveChildren(N(node_)->type)) return false;
    const int type = N(node_)->type;
    for (xmlNodePtr c = N(node_)->children; c != nullptr; c = c->next)
        if (isListed(c, type)) return true;
    return false;
}

std::string XmlNode::text() const {
    if (node_ == nullptr) return "";
    xmlNodePtr n = N(node_);
    switch (n->type) {
        case XML_ELEMENT_NODE:
        case XML_DOCUMENT_NODE:
        case XML_HTML_DOCUMENT_NODE: {
            std::string out;
            appendCharacterData(n, out);
            return out;
        }
        case XML_ATTRIBUTE_NODE: return attributeValue(reinterpret_cast<xmlAttrPtr>(n));
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE: return str(n->content);
        default: return "";
    }
}

std::string XmlNode::nodeValue() const {
    if (node_ == nullptr) return "";
    xmlNodePtr n = N(node_);
    switch (n->type) {
        case XML_ATTRIBUTE_NODE: return attributeValue(reinterpret_cast<xmlAttrPtr>(n));
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE: return str(n->content);
        default: return "";
    }
}

std::string XmlNode::firstChildText() const {
    if (node_ == nullptr || !canHaveChildren(N(node_)->type)) return "";
    const int type = N(node_)->type;
    for (xmlNodePtr c = N(node_)->children; c != nullptr; c = c->next)
        if (isListed(c, type)) return XmlNode(c).nodeValue();
    return "";
}

std::vector<XmlNode> XmlNode::selectNodes(const std::string& path) const {
    std::vector<XmlNode> out;
    if (node_ == nullptr || path.empty()) return out;
    xmlNodePtr start = N(node_);
    std::string_view rest = path;
    if (rest.front() == '/') {
        start = (start->type == XML_DOCUMENT_NODE || start->type == XML_HTML_DOCUMENT_NODE)
                    ? start
                    : reinterpret_cast<xmlNodePtr>(start->doc);
        if (start == nullptr) return out;
        rest.remove_prefix(1);
        if (rest.empty()) {
            out.push_back(XmlNode(start));
            return out;
        }
    }
    if (!canHaveChildren(start->type) || start->type == XML_ATTRIBUTE_NODE) return out;
    std::vector<xmlNodePtr> current{start}, next;
    while (true) {
        const size_t slash = rest.find('/');
        const std::string_view step = rest.substr(0, slash);
        if (step.empty()) return out;  // "A//B" or a trailing "/": nothing matches
        next.clear();
        for (xmlNodePtr parent : current)
            for (xmlNodePtr c = parent->children; c != nullptr; c = c->next)
                if (c->type == XML_ELEMENT_NODE && nameIs(c, step)) next.push_back(c);
        current.swap(next);
        if (slash == std::string_view::npos || current.empty()) break;
        rest.remove_prefix(slash + 1);
    }
    out.reserve(current.size());
    for (xmlNodePtr n : current) out.push_back(XmlNode(n));
    return out;
}

XmlNode XmlNode::selectSingleNode(const std::string& path) const {
    std::vector<XmlNode> all = selectNodes(path);
    return all.empty() ? XmlNode() : all.front();
}

std::vector<std::pair<std::string, std::string>> XmlNode::attributes() const {
    std::vector<std::pair<std::string, std::string>> out;
    if (node_ == nullptr || N(node_)->type != XML_ELEMENT_NODE) return out;
    for (xmlAttrPtr a = N(node_)->properties; a != nullptr; a = a->next)
        out.emplace_back(qualifiedName(reinterpret_cast<xmlNodePtr>(a)), attributeValue(a));
    return out;
}

std::optional<std::string> XmlNode::getAttribute(const std::string& name) const {
    if (node_ == nullptr || N(node_)->type != XML_ELEMENT_NODE) return std::nullopt;
    for (xmlAttrPtr a = N(node_)->properties; a != nullptr; a = a->next)
        if (nameIs(reinterpret_cast<xmlNodePtr>(a), name)) return attributeValue(a);
    return std::nullopt;
}

XmlNode XmlNode::firstChild() const {
    if (node_ == nullptr || !canHaveChildren(N(node_)->type)) return XmlNode();
    const int type = N(node_)->type;
    for (xmlNodePtr c = N(node_)->children; c != nullptr; c = c->next)
        if (isListed(c, type)) return XmlNode(c);
    return XmlNode();
}

XmlNode XmlNode::nextSibling() const {
    if (node_ == nullptr) return XmlNode();
    xmlNodePtr n = N(node_);
    if (n->type == XML_ATTRIBUTE_NODE || n->parent == nullptr || !canHaveChildren(n->parent->type)) return XmlNode();
    const int parentType = n->parent->type;
    if (!isListed(n, parentType)) return XmlNode();
    for (xmlNodePtr c = n->next; c != nullptr; c = c->next)
        if (isListed(c, parentType)) return XmlNode(c);
    return XmlNode();
}

bool XmlNode::hasName(std::string_view name) const {
    if (node_ != nullptr && hasPrefixedName(N(node_)->type)) return nameIs(N(node_), name);
    return nodeName() == name;
}

void XmlNode::appendName(std::string& out) const {
    if (node_ == nullptr || !hasPrefixedName(N(node_)->type)) {
        out += nodeName();
        return;
    }
    xmlNodePtr n = N(node_);
    if (n->ns != nullptr && n->ns->prefix != nullptr) {
        out += str(n->ns->prefix);
        out += ':';
    }
    out += str(n->name);
}

// ---- Shared parses ------------------------------------------------------------------

namespace {

// What one parse of a file came to.
struct ParseOutcome {
    std::shared_ptr<xmlDoc> doc;  // null when the load failed
    Declaration declaration;
    XmlParseError error;
};

struct CacheEntry {
    std::string docPath;
    FileStamp stamp;
    std::string rootReal;
    std::vector<FileStamp> externals;  // DTDs and entities read for it
    ParseOutcome outcome;
};

bool externalsUnchanged(const std::vector<FileStamp>& externals) {
    for (const FileStamp& f : externals) {
        FileStamp now;
        if (!stampOf(f.path, now) || !(now == f)) return false;
    }
    return true;
}

thread_local std::vector<XmlCacheScope::Impl*> t_scopes;  // innermost last

}  // namespace

struct XmlCacheScope::Impl {
    std::vector<std::shared_ptr<CacheEntry>> entries;  // most recently used first
    size_t hits = 0;

    void keep(std::shared_ptr<CacheEntry> e) {
        entries.insert(entries.begin(), std::move(e));
        if (entries.size() > kMaxDocuments) entries.resize(kMaxDocuments);
    }
};

XmlCacheScope::XmlCacheScope() : impl_(std::make_unique<Impl>()) { t_scopes.push_back(impl_.get()); }

XmlCacheScope::~XmlCacheScope() {
    for (size_t i = t_scopes.size(); i-- > 0;) {
        if (t_scopes[i] == impl_.get()) {
            t_scopes.erase(t_scopes.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
}

size_t XmlCacheScope::documents() const { return impl_->entries.size(); }
size_t XmlCacheScope::hits() const { return impl_->hits; }

namespace {

// The kept outcome for this file, moved to the innermost scope; null when none is kept
// (or the file or one of its DTDs has changed since: that entry is dropped).
std::shared_ptr<CacheEntry> findShared(const std::string& docPath, const FileStamp& stamp,
                                       const std::string& rootReal) {
    for (size_t k = t_scopes.size(); k-- > 0;) {
        auto& entries = t_scopes[k]->entries;
        for (size_t i = 0; i < entries.size(); ++i) {
            const CacheEntry& e = *entries[i];
            if (e.docPath != docPath || e.rootReal != rootReal) continue;
            std::shared_ptr<CacheEntry> hit = entries[i];
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
            if (!(e.stamp == stamp) || !externalsUnchanged(e.externals)) return nullptr;
            t_scopes.back()->keep(hit);
            ++t_scopes.back()->hits;
            return hit;
        }
    }
    return nullptr;
}

void share(std::string docPath, const FileStamp& stamp, std::string rootReal, std::vector<FileStamp> externals,
           const ParseOutcome& outcome) {
    if (t_scopes.empty()) return;
    auto e = std::make_shared<CacheEntry>();
    e->docPath = std::move(docPath);
    e->stamp = stamp;
    e->rootReal = std::move(rootReal);
    e->externals = std::move(externals);
    e->outcome = outcome;
    t_scopes.back()->keep(std::move(e));
}

}  // namespace

// ---- XmlDocument ---------------------------------------------------------------

struct XmlDocument::Impl {
    std::shared_ptr<xmlDoc> doc;  // shared with the scope that keeps it, read only
    std::string allowedRoot;
    Declaration declaration;

    void release() {
        doc.reset();
        declaration = Declaration();
    }
};

XmlDocument::XmlDocument() : impl_(std::make_unique<Impl>()) { initLibrary(); }

XmlDocument::~XmlDocument() = default;

void XmlDocument::setAllowedRoot(const std::string& folder) { impl_->allowedRoot = folder; }

namespace {

// Parses a document already in memory (validation, our loaders, blank text dropped).
ParseOutcome parseDocument(const std::string& bytes, LoadState& st) {
    ParseOutcome out;
    out.declaration = scanDeclaration(bytes);
    st.docEncoding = out.declaration.encoding;
    st.documentBytes = bytes.size();

    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (ctxt == nullptr) {
        out.error = {-XML_ERR_NO_MEMORY, 0, "XMLパーサーを作成できません"};
        out.declaration = Declaration();
        return out;
    }
    st.mainCtxt = ctxt;
    ctxt->sax->serror = onStructuredError;
    ctxt->sax->resolveEntity = resolveEntity;
    ctxt->sax->internalSubset = internalSubset;
    ctxt->sax->externalSubset = externalSubset;
    st.characters = ctxt->sax->characters;
    ctxt->sax->characters = characters;
    ctxt->sax->startElementNs = startElementNs;
    ctxt->sax->comment = comment;
    ctxt->sax->processingInstruction = processingInstruction;

    const int options = XML_PARSE_DTDLOAD | XML_PARSE_DTDVALID | XML_PARSE_DTDATTR | XML_PARSE_NOENT |
                        XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_BIG_LINES;
    xmlDocPtr doc = nullptr;
    bool wellFormed = false, valid = false;
    int errNo = 0, line = 0;
    {
        ErrorScope scope(&st);
        doc = xmlCtxtReadMemory(ctxt, bytes.data(), static_cast<int>(bytes.size()), st.docPath.c_str(), nullptr,
                                options);
        wellFormed = ctxt->wellFormed != 0;
        valid = ctxt->valid != 0;
        errNo = ctxt->errNo;
        line = currentLine(ctxt);
        // A multi-byte character cut off at the end of the file stays undecoded in the
        // input buffer, waiting for bytes that never come; the parser sees a complete text.
        const xmlParserInputBufferPtr in = ctxt->input != nullptr ? ctxt->input->buf : nullptr;
        if (doc != nullptr && in != nullptr && in->encoder != nullptr && in->raw != nullptr && xmlBufUse(in->raw) > 0)
            record(st, XML_ERR_INVALID_ENCODING, line,
                   "文字コードが正しくありません: ファイルの末尾の文字が途中で切れています");
    }
    xmlFreeParserCtxt(ctxt);
    st.mainCtxt = nullptr;

    const bool failed = doc == nullptr || !wellFormed || st.hasError || (st.hasDoctype && !valid);
    if (failed) {
        if (doc != nullptr) xmlFreeDoc(doc);
        if (st.hasError) {
            out.error = st.first;
        } else {
            out.error = {errNo != 0 ? -errNo : -XML_ERR_INTERNAL_ERROR, line, "XMLを読み込めません"};
        }
        if (out.error.line < 0) out.error.line = 0;
        out.declaration = Declaration();
        return out;
    }
    if (st.blankText) dropBlankTextNodes(doc);
    out.doc = std::shared_ptr<xmlDoc>(doc, xmlFreeDoc);
    return out;
}

}  // namespace

bool XmlDocument::load(const std::string& path) {
    impl_->release();
    error_ = XmlParseError();

    std::error_code ec;
    const std::string shown = oneLine(displayName(path).c_str());
    LoadState st;
    const fs::path abs = path.empty() ? fs::path() : fs::absolute(fsPath(path), ec).lexically_normal();
    st.docPath = abs.string();
    st.docDir = abs.parent_path().string();
    if (liesInImage(st.docPath)) return loadFromImage(&st, shown);
    st.rootReal = realPath(impl_->allowedRoot.empty() ? st.docDir : impl_->allowedRoot);

    // The document itself, like its DTD, is read only from inside the allowed root: a
    // folder on the medium that is a link to elsewhere leads nowhere.
    const std::string docReal = realPath(st.docPath);
    if (!path.empty() && !docReal.empty() && !insideRoot(docReal, st.rootReal)) {
        error_ = {-XML_IO_EACCES, 0, "許可されたフォルダの外にあるファイルの読み込みを拒否しました: " + shown};
        return false;
    }
    int fd = -1;
    struct stat fileStatus {};
    ReadResult read = path.empty() ? ReadResult::Missing : openPlainFile(path, kMaxXmlFileBytes, fd, fileStatus);
    if (read != ReadResult::Ok) {
        error_ = {-readFailureCode(read), 0, readFailure(read, "ファイル", shown)};
        if (read == ReadResult::Failed) error_.readError = t_readErrno;
        return false;
    }
    FileStamp stamp;
    fillStamp(fileStatus, stamp);
    if (!t_scopes.empty()) {
        if (std::shared_ptr<CacheEntry> hit = findShared(st.docPath, stamp, st.rootReal)) {
            ::close(fd);
            impl_->doc = hit->outcome.doc;
            impl_->declaration = hit->outcome.declaration;
            error_ = hit->outcome.error;
            return impl_->doc != nullptr;
        }
    }
    std::string bytes;
    read = readOpenFile(fd, fileStatus, bytes, kMaxXmlFileBytes);
    ::close(fd);
    if (read != ReadResult::Ok) {
        error_ = {-readFailureCode(read), 0, readFailure(read, "ファイル", shown)};
        if (read == ReadResult::Failed) error_.readError = t_readErrno;
        return false;
    }

    ParseOutcome outcome = parseDocument(bytes, st);
    bytes = std::string();
    share(st.docPath, stamp, st.rootReal, std::move(st.externals), outcome);
    impl_->doc = std::move(outcome.doc);
    impl_->declaration = std::move(outcome.declaration);
    error_ = std::move(outcome.error);
    return impl_->doc != nullptr;
}

// load() of a document inside a disc image: read from the image, below the allowed root.
bool XmlDocument::loadFromImage(LoadStateRef stRef, const std::string& shown) {
    LoadState& st = *static_cast<LoadState*>(stRef);
    st.rootReal = imageFolderForm(impl_->allowedRoot.empty() ? st.docDir
                                                            : fs::absolute(impl_->allowedRoot).string());
    if (!insideRoot(st.docPath, st.rootReal) || imageFileOf(st.docPath) != imageFileOf(st.rootReal)) {
        error_ = {-XML_IO_EACCES, 0, "許可されたフォルダの外にあるファイルの読み込みを拒否しました: " + shown};
        return false;
    }
    // An open image does not change: its path names the same bytes for the whole run.
    const FileStamp stamp;
    if (!t_scopes.empty()) {
        if (std::shared_ptr<CacheEntry> hit = findShared(st.docPath, stamp, st.rootReal)) {
            impl_->doc = hit->outcome.doc;
            impl_->declaration = hit->outcome.declaration;
            error_ = hit->outcome.error;
            return impl_->doc != nullptr;
        }
    }
    std::string bytes, reason;
    const ImageRead read = readImageFile(st.docPath, kMaxXmlFileBytes, bytes, reason);
    if (read != ImageRead::Ok) {
        error_ = {-imageReadFailureCode(read), 0, imageReadFailure(read, "ファイル", shown, reason)};
        return false;
    }
    ParseOutcome outcome = parseDocument(bytes, st);
    bytes = std::string();
    share(st.docPath, stamp, st.rootReal, {}, outcome);
    impl_->doc = std::move(outcome.doc);
    impl_->declaration = std::move(outcome.declaration);
    error_ = std::move(outcome.error);
    return impl_->doc != nullptr;
}

XmlNode XmlDocument::document() const {
    return impl_->doc ? XmlNode(reinterpret_cast<void*>(impl_->doc.get())) : XmlNode();
}

XmlNode XmlDocument::documentElement() const {
    return impl_->doc ? XmlNode(xmlDocGetRootElement(impl_->doc.get())) : XmlNode();
}

std::vector<XmlNode> XmlDocument::selectNodes(const std::string& path) const {
    return document().selectNodes(path);
}

std::string XmlDocument::declaredEncoding() const { return impl_->declaration.encoding; }

bool XmlDocument::hasXmlDeclaration() const { return impl_->declaration.present; }

void setXmlReadFaultForTesting(XmlReadFault fault) { g_readFault.store(fault); }

bool CheckXmlParser() {
    initLibrary();
    xmlDocPtr d = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    if (d == nullptr) return false;
    xmlFreeDoc(d);
    return true;
}

}  // namespace qm
