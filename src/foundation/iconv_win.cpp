// iconv for Windows on the system's code page converters; see iconv_win.h.
#include "foundation/iconv_win.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

enum class Kind { Utf8, Utf16Le, Utf16Be, Utf32Le, CodePage };

struct Encoding {
    Kind kind = Kind::CodePage;
    UINT codePage = 0;
    bool doubleByte = false;
    unsigned char lead[256] = {};  // lead bytes of a double-byte code page
};

struct Converter {
    Encoding from, to;
};

std::string upper(const char* s) {
    std::string u;
    for (; *s; ++s) u += (*s >= 'a' && *s <= 'z') ? static_cast<char>(*s - 32) : *s;
    return u;
}

UINT codePageOf(const std::string& u) {
    static const struct { const char* name; UINT cp; } kNames[] = {
        {"CP932", 932},        {"SHIFT_JIS", 932},    {"SHIFT-JIS", 932},   {"SJIS", 932},
        {"MS_KANJI", 932},     {"WINDOWS-31J", 932},  {"CSSHIFTJIS", 932},  {"MS932", 932},
        {"SHIFTJIS", 932},     {"X-MS-CP932", 932},   {"X-SJIS", 932},      {"EUC-JP", 20932},
        {"EUCJP", 20932},      {"US-ASCII", 20127},   {"ASCII", 20127},     {"ISO-8859-1", 28591},
        {"LATIN1", 28591},     {"ISO_8859-1", 28591}, {"GB2312", 936},      {"GBK", 936},
        {"BIG5", 950},         {"EUC-KR", 949},       {"KOI8-R", 20866},
    };
    for (const auto& n : kNames)
        if (u == n.name) return n.cp;
    auto number = [](const std::string& s) -> UINT {
        if (s.empty() || s.size() > 5) return 0;
        for (char c : s)
            if (c < '0' || c > '9') return 0;
        return static_cast<UINT>(std::atoi(s.c_str()));
    };
    if (u.rfind("ISO-8859-", 0) == 0) {
        const UINT n = number(u.substr(9));
        if (n >= 1 && n <= 16 && n != 12) return 28590 + n;
    }
    if (u.rfind("WINDOWS-", 0) == 0) return number(u.substr(8));
    if (u.rfind("CP", 0) == 0) return number(u.substr(2));
    return 0;
}

bool describe(const char* name, Encoding& e) {
    const std::string u = upper(name);
    if (u == "UTF-8" || u == "UTF8") { e.kind = Kind::Utf8; return true; }
    if (u == "UTF-16LE") { e.kind = Kind::Utf16Le; return true; }
    if (u == "UTF-16BE") { e.kind = Kind::Utf16Be; return true; }
    if (u == "UTF-32LE") { e.kind = Kind::Utf32Le; return true; }
    const UINT cp = codePageOf(u);
    if (cp == 0 || cp == CP_UTF8 || cp == CP_UTF7) return false;
    CPINFO info{};
    if (!IsValidCodePage(cp) || !GetCPInfo(cp, &info) || info.MaxCharSize > 2) return false;
    e.kind = Kind::CodePage;
    e.codePage = cp;
    e.doubleByte = info.MaxCharSize == 2;
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2)
        for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1] && b < 256; ++b) e.lead[b] = 1;
    return true;
}

// Decodes one character; answers the bytes it took, 0 with errno set on failure.
size_t decodeOne(const Encoding& e, const unsigned char* s, size_t n, char32_t& cp) {
    switch (e.kind) {
        case Kind::Utf8: {
            const unsigned b0 = s[0];
            size_t len;
            char32_t c, min;
            if (b0 < 0x80) { cp = b0; return 1; }
            if (b0 >= 0xC2 && b0 <= 0xDF) { len = 2; c = b0 & 0x1F; min = 0x80; }
            else if (b0 >= 0xE0 && b0 <= 0xEF) { len = 3; c = b0 & 0x0F; min = 0x800; }
            else if (b0 >= 0xF0 && b0 <= 0xF4) { len = 4; c = b0 & 0x07; min = 0x10000; }
            else { errno = EILSEQ; return 0; }
            for (size_t k = 1; k < len; ++k) {
                if (k >= n) { errno = EINVAL; return 0; }
                if ((s[k] & 0xC0) != 0x80) { errno = EILSEQ; return 0; }
                c = (c << 6) | (s[k] & 0x3F);
            }
            if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) { errno = EILSEQ; return 0; }
            cp = c;
            return len;
        }
        case Kind::Utf16Le:
        case Kind::Utf16Be: {
            auto unit = [&](size_t at) -> char32_t {
                return e.kind == Kind::Utf16Le ? s[at] | (s[at + 1] << 8) : (s[at] << 8) | s[at + 1];
            };
            if (n < 2) { errno = EINVAL; return 0; }
            const char32_t u = unit(0);
            if (u >= 0xDC00 && u <= 0xDFFF) { errno = EILSEQ; return 0; }
            if (u < 0xD800 || u > 0xDBFF) { cp = u; return 2; }
            if (n < 4) { errno = EINVAL; return 0; }
            const char32_t l = unit(2);
            if (l < 0xDC00 || l > 0xDFFF) { errno = EILSEQ; return 0; }
            cp = 0x10000 + ((u - 0xD800) << 10) + (l - 0xDC00);
            return 4;
        }
        case Kind::Utf32Le: {
            if (n < 4) { errno = EINVAL; return 0; }
            const char32_t c = s[0] | (s[1] << 8) | (s[2] << 16) | (static_cast<char32_t>(s[3]) << 24);
            if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) { errno = EILSEQ; return 0; }
            cp = c;
            return 4;
        }
        case Kind::CodePage: {
            size_t len = 1;
            if (e.doubleByte && e.lead[s[0]]) {
                if (n < 2) { errno = EINVAL; return 0; }
                len = 2;
            } else if (s[0] < 0x80 && e.codePage != 20127) {
                cp = s[0];  // the ASCII range of every supported code page
                return 1;
            }
            // Bytes that CP932 leaves undefined, though Windows passes them through to
            // control and private-use code points: refused, as a character set converter does.
            if (e.codePage == 932 && len == 1 && (s[0] == 0x80 || s[0] == 0xA0 || s[0] >= 0xFD)) {
                errno = EILSEQ;
                return 0;
            }
            wchar_t w[2];
            const int got = MultiByteToWideChar(e.codePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(s),
                                                static_cast<int>(len), w, 2);
            if (got != 1) { errno = EILSEQ; return 0; }
            cp = w[0];
            return len;
        }
    }
    errno = EILSEQ;
    return 0;
}

// Encodes one character into out (room for 8 bytes); answers its length, 0 when the
// encoding has no code for it.
size_t encodeOne(const Encoding& e, char32_t cp, unsigned char* out) {
    switch (e.kind) {
        case Kind::Utf8:
            if (cp < 0x80) { out[0] = static_cast<unsigned char>(cp); return 1; }
            if (cp < 0x800) { out[0] = 0xC0 | (cp >> 6); out[1] = 0x80 | (cp & 0x3F); return 2; }
            if (cp < 0x10000) {
                out[0] = 0xE0 | (cp >> 12); out[1] = 0x80 | ((cp >> 6) & 0x3F); out[2] = 0x80 | (cp & 0x3F);
                return 3;
            }
            out[0] = 0xF0 | (cp >> 18); out[1] = 0x80 | ((cp >> 12) & 0x3F);
            out[2] = 0x80 | ((cp >> 6) & 0x3F); out[3] = 0x80 | (cp & 0x3F);
            return 4;
        case Kind::Utf16Le:
        case Kind::Utf16Be: {
            auto put = [&](unsigned char* at, char32_t u) {
                at[e.kind == Kind::Utf16Le ? 0 : 1] = static_cast<unsigned char>(u & 0xFF);
                at[e.kind == Kind::Utf16Le ? 1 : 0] = static_cast<unsigned char>(u >> 8);
            };
            if (cp < 0x10000) { put(out, cp); return 2; }
            put(out, 0xD800 + ((cp - 0x10000) >> 10));
            put(out + 2, 0xDC00 + ((cp - 0x10000) & 0x3FF));
            return 4;
        }
        case Kind::Utf32Le:
            for (int k = 0; k < 4; ++k) out[k] = static_cast<unsigned char>(cp >> (8 * k));
            return 4;
        case Kind::CodePage: {
            if (cp < 0x80 && e.codePage != 20127) { out[0] = static_cast<unsigned char>(cp); return 1; }
            wchar_t w[2];
            int wn = 1;
            if (cp < 0x10000) {
                w[0] = static_cast<wchar_t>(cp);
            } else {
                w[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
                w[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
                wn = 2;
            }
            // No best-fit substitutes: a character without a code of its own has none.
            BOOL usedDefault = FALSE;
            const int n = WideCharToMultiByte(e.codePage, WC_NO_BEST_FIT_CHARS, w, wn, reinterpret_cast<char*>(out),
                                              8, nullptr, &usedDefault);
            if (n <= 0 || usedDefault) return 0;
            if (e.codePage == 932 && n == 1 && (out[0] == 0x80 || out[0] == 0xA0 || out[0] >= 0xFD)) return 0;
            return static_cast<size_t>(n);
        }
    }
    return 0;
}

}  // namespace

iconv_t iconv_open(const char* to, const char* from) {
    auto* c = new Converter;
    if (!describe(to, c->to) || !describe(from, c->from)) {
        delete c;
        errno = EINVAL;
        return reinterpret_cast<iconv_t>(-1);
    }
    return c;
}

size_t iconv(iconv_t cd, char** inbuf, size_t* inleft, char** outbuf, size_t* outleft) {
    // Stateless encodings only: a reset or a flush has nothing to do.
    if (inbuf == nullptr || *inbuf == nullptr) return 0;
    const auto* c = static_cast<const Converter*>(cd);
    while (*inleft > 0) {
        char32_t cp = 0;
        const size_t used = decodeOne(c->from, reinterpret_cast<const unsigned char*>(*inbuf), *inleft, cp);
        if (used == 0) return static_cast<size_t>(-1);
        unsigned char buf[8];
        const size_t len = encodeOne(c->to, cp, buf);
        if (len == 0) {
            errno = EILSEQ;
            return static_cast<size_t>(-1);
        }
        if (len > *outleft) {
            errno = E2BIG;
            return static_cast<size_t>(-1);
        }
        std::memcpy(*outbuf, buf, len);
        *outbuf += len;
        *outleft -= len;
        *inbuf += used;
        *inleft -= used;
    }
    return 0;
}

int iconv_close(iconv_t cd) {
    delete static_cast<Converter*>(cd);
    return 0;
}
