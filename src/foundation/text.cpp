// Text rules, CP932 conversion and wildcard matching.
#include "foundation/text.h"

#ifdef _WIN32
#include "foundation/iconv_win.h"
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>

namespace qm {

namespace {

constexpr uint16_t kNoCode = 0xFFFF;  // no CP932 code (0xFFFF is not a CP932 code)
constexpr char32_t kBadByteBase = 0x110000;  // invalid UTF-8 byte b decodes to kBadByteBase + b

// ---- UTF-8 ---------------------------------------------------------------------

// Decodes one character at s[i]; advances i. Invalid bytes come back one at a time as
// kBadByteBase + byte, so that they stay distinct from every real character.
char32_t nextChar(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) { ++i; return b0; }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) { len = 2; cp = b0 & 0x1F; min = 0x80; }
    else if (b0 >= 0xE0 && b0 <= 0xEF) { len = 3; cp = b0 & 0x0F; min = 0x800; }
    else if (b0 >= 0xF0 && b0 <= 0xF4) { len = 4; cp = b0 & 0x07; min = 0x10000; }
    else { ++i; return kBadByteBase + b0; }
    if (i + len > s.size()) { ++i; return kBadByteBase + b0; }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) { ++i; return kBadByteBase + b0; }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { ++i; return kBadByteBase + b0; }
    i += len;
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::u32string toChars(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) out += nextChar(s, i);
    return out;
}

// ---- CP932 tables built from the system converter --------------------------------

bool isLeadByte(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool isTrailByte(unsigned b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// Which of several codes of one character Windows produces: smaller is preferred.
int codeRank(uint16_t code) {
    if (code >= 0x8740 && code <= 0x879C) return 1;  // NEC row 13
    if (code >= 0xFA40 && code <= 0xFC4B) return 2;  // IBM extensions
    if (code >= 0xED40 && code <= 0xEEFC) return 3;  // NEC-selected IBM extensions
    return 0;                                        // JIS X 0208 and single bytes
}

// Decoding tables, read off the system converter in bulk: for every byte as the first
// of a character its code point, kLeadByte or kBadByte; for every lead and trail byte
// the code point of the pair or kBadByte.
constexpr uint16_t kLeadByte = 0xFFFE;
constexpr uint16_t kBadByte = 0xFFFF;

struct Cp932Decoder {
    uint16_t single[256];
    std::vector<uint16_t> pair;  // lead * 256 + trail
    bool ok = false;             // the converter was there and behaved as expected
    Cp932Decoder() : pair(0x10000, kBadByte) {
        for (uint16_t& s : single) s = kBadByte;
        iconv_t dec = iconv_open("UTF-32LE", "CP932");
        if (dec == reinterpret_cast<iconv_t>(-1)) return;
        for (unsigned b = 0; b < 0x100; ++b) {
            char c = static_cast<char>(b);
            char32_t cp = 0;
            char* inp = &c;
            size_t inLeft = 1;
            char* outp = reinterpret_cast<char*>(&cp);
            size_t outLeft = sizeof cp;
            iconv(dec, nullptr, nullptr, nullptr, nullptr);
            if (iconv(dec, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1)) {
                if (outLeft == 0 && cp < kLeadByte) single[b] = static_cast<uint16_t>(cp);
            } else if (errno == EINVAL) {
                single[b] = kLeadByte;
            }
        }
        // All 256 pairs of one lead byte in one buffer; a refused pair is marked and
        // passed over (every accepted pair is one character of two bytes).
        for (unsigned lead = 0; lead < 0x100; ++lead) {
            if (single[lead] != kLeadByte) continue;
            char in[512];
            for (unsigned t = 0; t < 0x100; ++t) {
                in[2 * t] = static_cast<char>(lead);
                in[2 * t + 1] = static_cast<char>(t);
            }
            char32_t outBuf[256];
            char* inp = in;
            size_t inLeft = sizeof in;
            iconv(dec, nullptr, nullptr, nullptr, nullptr);
            while (inLeft > 0) {
                const char* start = inp;
                char* outp = reinterpret_cast<char*>(outBuf);
                size_t outLeft = sizeof outBuf;
                const size_t r = iconv(dec, &inp, &inLeft, &outp, &outLeft);
                const size_t produced = (sizeof outBuf - outLeft) / sizeof(char32_t);
                const size_t firstTrail = static_cast<size_t>(start - in) / 2;
                if (static_cast<size_t>(inp - start) != produced * 2) {  // not one character per pair
                    iconv_close(dec);
                    return;
                }
                for (size_t k = 0; k < produced; ++k)
                    if (outBuf[k] < kLeadByte) pair[lead * 256 + firstTrail + k] = static_cast<uint16_t>(outBuf[k]);
                if (r != static_cast<size_t>(-1)) break;
                if (errno != EILSEQ || inLeft < 2) break;
                inp += 2;  // refused pair: stays kBadByte
                inLeft -= 2;
                iconv(dec, nullptr, nullptr, nullptr, nullptr);
            }
        }
        iconv_close(dec);
        ok = single[static_cast<unsigned char>('A')] == 'A';
    }
};

const Cp932Decoder& decoder() {
    static const Cp932Decoder d;
    return d;
}

// The CP932 code of every BMP code point. The codes of the characters that CP932 bytes
// decode to are taken from the decoding tables; a code point that no CP932 character
// decodes to is asked of the converter when it is first examined (a few are written one
// way only, for example U+00A5 as 0x5C), and the answer is kept.
constexpr uint16_t kNotAsked = 0xFFFE;

struct Cp932Tables {
    std::unique_ptr<std::atomic<uint16_t>[]> fromUnicode;  // kNoCode: none
    Cp932Tables() : fromUnicode(new std::atomic<uint16_t>[0x10000]) {
        std::vector<uint16_t> codes(0x10000, kNoCode);
        auto take = [&](uint16_t code, uint32_t cp) {
            if (cp >= 0x10000) return;
            uint16_t& slot = codes[cp];
            if (slot == kNoCode || codeRank(code) < codeRank(slot) ||
                (codeRank(code) == codeRank(slot) && code < slot))
                slot = code;
        };
        const Cp932Decoder& d = decoder();
        if (d.ok) {
            for (unsigned b = 0; b < 0x100; ++b)
                if (!isLeadByte(b) && d.single[b] < kLeadByte) take(static_cast<uint16_t>(b), d.single[b]);
            for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
                if (!isLeadByte(lead)) continue;
                for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                    const uint16_t cp = d.pair[lead * 256 + trail];
                    if (isTrailByte(trail) && cp < kLeadByte) take(static_cast<uint16_t>(lead * 256 + trail), cp);
                }
            }
        }
        for (uint32_t cp = 0; cp < 0x10000; ++cp) {
            uint16_t code = codes[cp];
            if (code == kNoCode && cp >= 0x80 && !(cp >= 0xD800 && cp <= 0xDFFF)) code = kNotAsked;
            fromUnicode[cp].store(code, std::memory_order_relaxed);
        }
    }
};

const Cp932Tables& tables() {
    static const Cp932Tables t;  // built once; thread-safe initialisation
    return t;
}

// The code the converter writes for a code point that no CP932 character decodes to.
uint16_t askConverter(char32_t cp) {
    static std::mutex lock;
    const std::lock_guard<std::mutex> guard(lock);
    static const iconv_t enc = iconv_open("CP932", "UTF-32LE");
    if (enc == reinterpret_cast<iconv_t>(-1)) return kNoCode;
    char out[4];
    const char32_t in = cp;
    char* inp = reinterpret_cast<char*>(const_cast<char32_t*>(&in));
    size_t inLeft = sizeof in;
    char* outp = out;
    size_t outLeft = sizeof out;
    iconv(enc, nullptr, nullptr, nullptr, nullptr);
    if (iconv(enc, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1)) return kNoCode;
    const size_t n = sizeof out - outLeft;
    if (n == 1) return static_cast<unsigned char>(out[0]);
    if (n == 2)
        return static_cast<uint16_t>(static_cast<unsigned char>(out[0]) * 256 + static_cast<unsigned char>(out[1]));
    return kNoCode;
}

// The code of c in the tables t.
inline uint16_t codeIn(const Cp932Tables& t, char32_t c) {
    if (c >= 0x10000) return 0x3F;  // includes invalid bytes
    std::atomic<uint16_t>& slot = t.fromUnicode[c];
    uint16_t code = slot.load(std::memory_order_relaxed);
    if (code == kNotAsked) {
        code = askConverter(c);
        slot.store(code, std::memory_order_relaxed);
    }
    return code == kNoCode ? 0x3F : code;
}

uint16_t codeOfChar(char32_t c) { return codeIn(tables(), c); }

// Calls f with the CP932 code of each character of s in turn while it answers true;
// answers whether it did so to the end.
template <typename F>
bool eachCode(std::string_view s, F f) {
    const Cp932Tables& t = tables();
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        char32_t c;
        if (b < 0x80) {
            c = b;
            ++i;
        } else {
            c = nextChar(s, i);
        }
        if (!f(codeIn(t, c))) return false;
    }
    return true;
}

// Runs a whole-text conversion; on a sequence that cannot be converted calls onBad,
// which appends a replacement and answers how many input bytes to skip.
template <typename OnBad>
std::string convertText(const char* to, const char* from, std::string_view in, OnBad onBad) {
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return out;
    out.reserve(in.size() * 3 / 2 + 8);
    char* inp = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char buf[4096];
    while (inLeft > 0) {
        char* outp = buf;
        size_t outLeft = sizeof buf;
        const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        out.append(buf, static_cast<size_t>(outp - buf));
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: an unconvertible or incomplete sequence at inp
        const size_t skip = std::min(inLeft, onBad(out, std::string_view(inp, inLeft)));
        inp += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* outp = buf;
    size_t outLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, &outp, &outLeft);
    out.append(buf, static_cast<size_t>(outp - buf));
    iconv_close(cd);
    return out;
}

bool isAsciiDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool isAsciiLower(char32_t c) { return c >= U'a' && c <= U'z'; }
char32_t foldAscii(char32_t c) { return isAsciiLower(c) ? c - 32 : c; }

template <typename Pred>
bool allCodes(std::string_view s, Pred pred) {
    return eachCode(s, pred);
}

bool inRange(uint16_t c, uint16_t lo, uint16_t hi) { return c >= lo && c <= hi; }

bool isUsableCode(uint16_t c) {
    return inRange(c, 0x20, 0x7E) || inRange(c, 0x8140, 0x81AC) || inRange(c, 0x81B8, 0x81BF) ||
           inRange(c, 0x81C8, 0x81CE) || inRange(c, 0x81DA, 0x81E8) || inRange(c, 0x81F0, 0x81F7) ||
           c == 0x81FC || inRange(c, 0x829F, 0x82F1) || inRange(c, 0x8340, 0x8396) ||
           inRange(c, 0x839F, 0x83B6) || inRange(c, 0x83BF, 0x83D6) || inRange(c, 0x8440, 0x8460) ||
           inRange(c, 0x8470, 0x8491) || inRange(c, 0x849F, 0x84BE) || inRange(c, 0x8754, 0x875D) ||
           inRange(c, 0x889F, 0x9872) || inRange(c, 0x989F, 0xEAA4);
}

bool isDigitsChars(const std::u32string& s) {
    if (s.empty()) return false;
    for (char32_t c : s)
        if (!isAsciiDigit(c)) return false;
    return true;
}

// ---- Wildcards -----------------------------------------------------------------

// Matches one pattern element at p[pi] against c; sets next to the index after the
// element. Answers whether c matches.
// nextClose[i] is the index of the first "]" at or after i (npos when none).
bool matchElement(const std::u32string& p, const std::vector<size_t>& nextClose, size_t pi, char32_t c,
                  bool noCase, size_t& next) {
    const char32_t pc = p[pi];
    if (pc == U'?') { next = pi + 1; return true; }
    if (pc == U'#') { next = pi + 1; return isAsciiDigit(c); }
    if (pc == U'[') {
        size_t k = pi + 1;
        bool negate = false;
        if (k < p.size() && p[k] == U'!') { negate = true; ++k; }
        const size_t close = k < p.size() ? nextClose[k] : std::u32string::npos;
        if (close != std::u32string::npos) {
            const char32_t cc = noCase ? foldAscii(c) : c;
            bool hit = false;
            for (size_t m = k; m < close; ++m) {
                char32_t lo = noCase ? foldAscii(p[m]) : p[m];
                if (m + 2 < close && p[m + 1] == U'-') {
                    char32_t hi = noCase ? foldAscii(p[m + 2]) : p[m + 2];
                    if (cc >= lo && cc <= hi) hit = true;
                    if (noCase && !hit) {  // a range such as [a-z] also holds folded letters
                        if (c >= p[m] && c <= p[m + 2]) hit = true;
                    }
                    m += 2;
                } else if (cc == lo) {
                    hit = true;
                }
            }
            next = close + 1;
            return hit != negate;
        }
        // an unterminated "[" stands for itself
    }
    next = pi + 1;
    return noCase ? foldAscii(c) == foldAscii(pc) : c == pc;
}

bool isAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

char foldByte(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// matchElement for text and pattern in ASCII, where each byte is one character: the
// same rules, no decoding and no allocation.
bool matchElementAscii(std::string_view p, size_t pi, char c, bool noCase, size_t& next) {
    const char pc = p[pi];
    if (pc == '?') { next = pi + 1; return true; }
    if (pc == '#') { next = pi + 1; return c >= '0' && c <= '9'; }
    if (pc == '[') {
        size_t k = pi + 1;
        bool negate = false;
        if (k < p.size() && p[k] == '!') { negate = true; ++k; }
        const size_t close = k < p.size() ? p.find(']', k) : std::string_view::npos;
        if (close != std::string_view::npos) {
            const char cc = noCase ? foldByte(c) : c;
            bool hit = false;
            for (size_t m = k; m < close; ++m) {
                const char lo = noCase ? foldByte(p[m]) : p[m];
                if (m + 2 < close && p[m + 1] == '-') {
                    const char hi = noCase ? foldByte(p[m + 2]) : p[m + 2];
                    if (cc >= lo && cc <= hi) hit = true;
                    if (noCase && !hit) {
                        if (c >= p[m] && c <= p[m + 2]) hit = true;
                    }
                    m += 2;
                } else if (cc == lo) {
                    hit = true;
                }
            }
            next = close + 1;
            return hit != negate;
        }
    }
    next = pi + 1;
    return noCase ? foldByte(c) == foldByte(pc) : c == pc;
}

bool likeMatchAscii(std::string_view t, std::string_view p, bool noCase) {
    size_t ti = 0, pi = 0;
    size_t starP = std::string_view::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == '*') {
            while (pi < p.size() && p[pi] == '*') ++pi;
            starP = pi;
            starT = ti;
            continue;
        }
        size_t next = 0;
        if (pi < p.size() && matchElementAscii(p, pi, t[ti], noCase, next)) {
            pi = next;
            ++ti;
            continue;
        }
        if (starP == std::string_view::npos) return false;
        pi = starP;
        ti = ++starT;
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

bool likeMatch(std::string_view textUtf8, std::string_view patternUtf8, bool noCase) {
    if (isAscii(textUtf8) && isAscii(patternUtf8)) return likeMatchAscii(textUtf8, patternUtf8, noCase);
    const std::u32string t = toChars(textUtf8);
    const std::u32string p = toChars(patternUtf8);
    std::vector<size_t> nextClose(p.size(), std::u32string::npos);
    for (size_t k = p.size(); k-- > 0;)
        nextClose[k] = p[k] == U']' ? k : (k + 1 < p.size() ? nextClose[k + 1] : std::u32string::npos);
    size_t ti = 0, pi = 0;
    size_t starP = std::u32string::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == U'*') {
            while (pi < p.size() && p[pi] == U'*') ++pi;
            starP = pi;
            starT = ti;
            continue;
        }
        size_t next = 0;
        if (pi < p.size() && matchElement(p, nextClose, pi, t[ti], noCase, next)) {
            pi = next;
            ++ti;
            continue;
        }
        if (starP == std::u32string::npos) return false;
        pi = starP;
        ti = ++starT;
    }
    while (pi < p.size() && p[pi] == U'*') ++pi;
    return pi == p.size();
}

}  // namespace

// ---- CP932 ---------------------------------------------------------------------

std::string toCp932(std::string_view utf8) {
    return convertText("CP932", "UTF-8", utf8, [](std::string& out, std::string_view rest) -> size_t {
        out += '?';
        size_t i = 0;
        nextChar(rest, i);  // one character (or one invalid byte)
        return i;
    });
}

std::string fromCp932(std::string_view cp932) {
    return convertText("UTF-8", "CP932", cp932, [](std::string& out, std::string_view) -> size_t {
        out += "\xEF\xBF\xBD";
        return 1;
    });
}

bool isValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();)
        if (nextChar(s, i) >= kBadByteBase) return false;
    return true;
}

std::string displayName(std::string_view raw) {
    if (isValidUtf8(raw)) return std::string(raw);
    const std::string decoded = fromCp932(raw);
    if (decoded.find("\xEF\xBF\xBD") == std::string::npos) return decoded;
    std::string out;
    for (size_t i = 0; i < raw.size();) {
        const char32_t c = nextChar(raw, i);
        appendUtf8(out, c >= kBadByteBase ? U'\uFFFD' : c);
    }
    return out;
}

bool cp932Holds(char32_t cp) {
    if (cp >= 0x10000) return false;  // includes invalid bytes
    const uint16_t code = codeOfChar(cp);
    if (code == 0x3F) return cp == U'?';
    const Cp932Decoder& d = decoder();
    if (!d.ok) return true;  // no tables to read the code back with: take the converter's word
    const uint16_t back = code < 0x100 ? d.single[code] : d.pair[code];
    return back == cp;
}

std::string cp932HeldText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const size_t from = i;
        const char32_t c = nextChar(utf8, i);
        if (c < 0x80 || cp932Holds(c)) out.append(utf8.substr(from, i - from));
        else out += '?';
    }
    return out;
}

std::string toCp932Held(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = nextChar(utf8, i);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        if (!cp932Holds(c)) {
            out += '?';
            continue;
        }
        const uint16_t code = codeOfChar(c);
        if (code > 0xFF) out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
    }
    return out;
}

std::vector<uint16_t> cp932Codes(std::string_view utf8) {
    std::vector<uint16_t> out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) out.push_back(codeOfChar(nextChar(utf8, i)));
    return out;
}

uint16_t cp932CodeOf(char32_t cp) { return codeOfChar(cp); }

bool hasCp932Decoder() { return decoder().ok; }

Cp932Stop decodeCp932(const unsigned char* in, size_t inLen, unsigned char* out, size_t outCap, size_t& inUsed,
                      size_t& outUsed) {
    const Cp932Decoder& d = decoder();
    size_t i = 0, o = 0;
    Cp932Stop stop = Cp932Stop::Done;
    while (i < inLen) {
        const unsigned b = in[i];
        if (b < 0x80 && d.single[b] == b) {
            if (o == outCap) { stop = Cp932Stop::OutputFull; break; }
            out[o++] = static_cast<unsigned char>(b);
            ++i;
            continue;
        }
        uint32_t cp = d.single[b];
        size_t len = 1;
        if (cp == kLeadByte) {
            if (i + 1 == inLen) { stop = Cp932Stop::LeadAtEnd; break; }
            cp = d.pair[b * 256 + in[i + 1]];
            len = 2;
        }
        if (cp == kBadByte) { stop = Cp932Stop::Invalid; break; }
        const size_t n = cp < 0x80 ? 1 : (cp < 0x800 ? 2 : 3);
        if (outCap - o < n) { stop = Cp932Stop::OutputFull; break; }
        if (n == 1) {
            out[o] = static_cast<unsigned char>(cp);
        } else if (n == 2) {
            out[o] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            out[o + 1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        } else {
            out[o] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            out[o + 1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            out[o + 2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        }
        o += n;
        i += len;
    }
    inUsed = i;
    outUsed = o;
    return stop;
}

// ---- Value and name rules ------------------------------------------------------

bool IsDigits(std::string_view s) {
    return !s.empty() && allCodes(s, [](uint16_t c) { return c >= '0' && c <= '9'; });
}

bool IsInteger(std::string_view s) {
    if (s.empty()) return false;
    bool first = true;
    return allCodes(s, [&](uint16_t c) {
        const bool ok = (c >= '0' && c <= '9') || (first && c == '-');
        first = false;
        return ok;
    });
}

namespace {
bool realRule(std::string_view s, bool allowMinus) {
    if (s.empty()) return false;
    bool first = true;
    int dots = 0;
    return allCodes(s, [&](uint16_t c) {
        bool ok = (c >= '0' && c <= '9') || (allowMinus && first && c == '-');
        if (c == '.') ok = ++dots <= 1;
        first = false;
        return ok;
    });
}
}  // namespace

bool IsPositiveReal(std::string_view s) { return realRule(s, false); }
bool IsReal(std::string_view s) { return realRule(s, true); }

bool IsAlnum(std::string_view s) {
    return allCodes(s, [](uint16_t c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

bool IsUpperAlnum(std::string_view s) {
    return allCodes(s, [](uint16_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); });
}

bool IsFullWidth(std::string_view s) {
    return allCodes(s, [](uint16_t c) {
        return inRange(c, 0x8140, 0x81FC) || inRange(c, 0x8240, 0x84BE) || inRange(c, 0x889F, 0xEAA4);
    });
}

bool IsUsableText(std::string_view s) { return allCodes(s, isUsableCode); }

bool IsUsableMultiLineText(std::string_view s) {
    return allCodes(s, [](uint16_t c) { return c == 0x0A || c == 0x0D || isUsableCode(c); });
}

bool IsDateYMD(std::string_view s, std::string_view sep) {
    const std::u32string c = toChars(s);
    if (c.size() != 10) return false;
    const std::u32string sp = toChars(sep);
    if (sp.size() != 1 || c[4] != sp[0] || c[7] != sp[0]) return false;
    const std::u32string y = c.substr(0, 4), m = c.substr(5, 2), d = c.substr(8, 2);
    if (!isDigitsChars(y) || !isDigitsChars(m) || !isDigitsChars(d)) return false;
    auto num = [](const std::u32string& t) {
        int v = 0;
        for (char32_t ch : t) v = v * 10 + static_cast<int>(ch - U'0');
        return v;
    };
    const int year = num(y), month = num(m), day = num(d);
    if (year < 1 || month < 1 || month > 12 || day < 1) return false;
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int maxDay = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= maxDay;
}

bool IsUpperPath(std::string_view s) {
    return allCodes(s, [](uint16_t c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '/' || c == '_';
    });
}

bool IsUpperFileName(std::string_view s) {
    return allCodes(s, [](uint16_t c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '.' || c == '_';
    });
}

bool IsFileName84(std::string_view s) {
    if (!IsUpperFileName(s)) return false;
    const size_t dot = s.find('.');
    if (dot == std::string_view::npos) return countChars(s) <= 8;
    return countChars(s.substr(0, dot)) <= 8 && countChars(s.substr(dot + 1)) <= 4;
}

bool IsFolderName8(std::string_view s) {
    return allCodes(s, [](uint16_t c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '_';
           }) &&
           countChars(s) <= 8;
}

// ---- Measures and conversions --------------------------------------------------

int32_t GetByteLength(std::string_view s) {
    int32_t n = 0;
    eachCode(s, [&n](uint16_t c) {
        n += c > 0xFF ? 2 : 1;
        return true;
    });
    return n;
}

int32_t toNumber(std::string_view s) {
    size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (i < s.size() && blank(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int64_t value = 0;
    bool digits = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        digits = true;
        if (value <= int64_t{INT32_MAX} + 1) value = value * 10 + (s[i] - '0');
        ++i;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') { digits = true; ++i; }
    }
    while (i < s.size() && blank(s[i])) ++i;
    if (!digits || i != s.size()) return 0;
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

std::string trimNull(std::string_view s) {
    const size_t nul = s.find('\0');
    return std::string(nul == std::string_view::npos ? s : s.substr(0, nul));
}

std::string trimBlanks(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return std::string(s.substr(b, e - b));
}

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

int countChars(std::string_view utf8) {
    int n = 0;
    for (size_t i = 0; i < utf8.size(); ++n) nextChar(utf8, i);
    return n;
}

std::string substrChars(std::string_view utf8, int start, int count) {
    if (start < 0) start = 0;
    if (count <= 0) return {};
    size_t i = 0;
    for (int k = 0; k < start && i < utf8.size(); ++k) nextChar(utf8, i);
    const size_t from = i;
    for (int k = 0; k < count && i < utf8.size(); ++k) nextChar(utf8, i);
    return std::string(utf8.substr(from, i - from));
}

// ---- Wildcard matching ---------------------------------------------------------

bool LikeMatch(std::string_view text, std::string_view pattern) { return likeMatch(text, pattern, false); }
bool LikeMatchNoCase(std::string_view text, std::string_view pattern) { return likeMatch(text, pattern, true); }

// The elements as matchElementAscii reads them, each ready to test one character.
LikePattern::LikePattern(std::string_view pattern) : pattern_(pattern) {
    if (!isAscii(pattern)) return;
    auto add = [](Element& e, unsigned c) { e.set[c >> 6] |= uint64_t{1} << (c & 63); };
    size_t pi = 0;
    while (pi < pattern.size()) {
        const char pc = pattern[pi];
        Element e;
        if (pc == '*') {
            e.kind = Element::Star;
            ++pi;
        } else if (pc == '?') {
            e.kind = Element::Any;
            ++pi;
        } else if (pc == '#') {
            e.kind = Element::Set;
            for (unsigned c = '0'; c <= '9'; ++c) add(e, c);
            ++pi;
        } else {
            size_t k = pi + 1;
            bool negate = false;
            if (pc == '[' && k < pattern.size() && pattern[k] == '!') { negate = true; ++k; }
            const size_t close =
                pc == '[' && k < pattern.size() ? pattern.find(']', k) : std::string_view::npos;
            if (close == std::string_view::npos) {  // a literal (an unterminated "[" too)
                e.literal = pc;
                ++pi;
            } else {
                e.kind = Element::Set;
                for (size_t m = k; m < close; ++m) {
                    if (m + 2 < close && pattern[m + 1] == '-') {
                        for (unsigned c = static_cast<unsigned char>(pattern[m]);
                             c <= static_cast<unsigned char>(pattern[m + 2]); ++c)
                            add(e, c);
                        m += 2;
                    } else {
                        add(e, static_cast<unsigned char>(pattern[m]));
                    }
                }
                if (negate) {
                    e.set[0] = ~e.set[0];
                    e.set[1] = ~e.set[1];
                }
                pi = close + 1;
            }
        }
        elements_.push_back(e);
    }
    compiled_ = true;
}

bool LikePattern::matches(std::string_view t) const {
    if (!compiled_ || !isAscii(t)) return LikeMatch(t, pattern_);
    const size_t n = elements_.size();
    auto one = [&](const Element& e, char ch) {
        const auto c = static_cast<unsigned char>(ch);
        switch (e.kind) {
            case Element::Any: return true;
            case Element::Set: return ((e.set[c >> 6] >> (c & 63)) & 1) != 0;
            default: return ch == e.literal;
        }
    };
    size_t ti = 0, ei = 0;
    size_t starE = std::string_view::npos, starT = 0;
    while (ti < t.size()) {
        if (ei < n && elements_[ei].kind == Element::Star) {
            while (ei < n && elements_[ei].kind == Element::Star) ++ei;
            starE = ei;
            starT = ti;
            continue;
        }
        if (ei < n && one(elements_[ei], t[ti])) {
            ++ei;
            ++ti;
            continue;
        }
        if (starE == std::string_view::npos) return false;
        ei = starE;
        ti = ++starT;
    }
    while (ei < n && elements_[ei].kind == Element::Star) ++ei;
    return ei == n;
}

// ---- Small routines ------------------------------------------------------------

std::string GetResultTypeWord(int intResultType) {
    switch (intResultType) {
        case 1: return "地籍調査";
        case 2: return "先行調査";
        default: return "不明";
    }
}

std::string GetResultTypeName(int intResultType) {
    switch (intResultType) {
        case 1: return "地籍調査";
        case 2: return "官民境界等先行調査";
        default: return "(業務不明)";
    }
}

std::string GetDriveRoot(std::string_view path) {
    if (LikeMatch(path, "[A-Za-z]:*")) return std::string(path.substr(0, 2)) + "\\";
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        const size_t afterServer = path.find('\\', 2);
        if (afterServer == std::string_view::npos || afterServer < 3) return {};
        const size_t afterShare = path.find('\\', afterServer + 1);
        if (afterShare == std::string_view::npos) {
            if (afterServer + 1 >= path.size()) return {};
            return std::string(path) + "\\";
        }
        if (afterShare == afterServer + 1) return {};
        return std::string(path.substr(0, afterShare + 1));
    }
    return {};
}

int compareText(std::string_view a, std::string_view b, int compareMode) {
    if (compareMode == 1) {
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            auto ca = static_cast<unsigned char>(a[i]);
            auto cb = static_cast<unsigned char>(b[i]);
            if (ca >= 'a' && ca <= 'z') ca -= 32;
            if (cb >= 'a' && cb <= 'z') cb -= 32;
            if (ca != cb) return ca < cb ? -1 : 1;
        }
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    }
    const int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

void SortStrings(std::vector<std::string>& items, int compareMode) {
    // Exchange sort: the order of strings that compare equal is part of the result.
    // Long lists (where that sort is too slow) are sorted stably instead.
    const size_t n = items.size();
    if (n < 2) return;
    if (n > 4096) {
        std::stable_sort(items.begin(), items.end(), [&](const std::string& a, const std::string& b) {
            return compareText(a, b, compareMode) < 0;
        });
        return;
    }
    for (size_t i = 0; i + 1 < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (compareText(items[i], items[j], compareMode) > 0) std::swap(items[i], items[j]);
}

}  // namespace qm
