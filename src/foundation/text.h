// Text rules: CP932 (Microsoft Shift_JIS) conversion, the character rules that judge
// values and names, byte length, number parsing, wildcard matching and a few small
// routines about drives and the result type.
//
// Strings are UTF-8 inside the program. Every character rule works on the CP932 code
// of each character in turn; a character with no CP932 code is examined as '?' (0x3F).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// ---- CP932 ---------------------------------------------------------------------
// Whole-text conversion at file boundaries. Characters with no CP932 code become '?'.
std::string toCp932(std::string_view utf8);
// Bytes that are not valid CP932 become U+FFFD.
std::string fromCp932(std::string_view cp932);
// True when the bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view s);
// A name as read from the file system, made presentable: valid UTF-8 as it is,
// otherwise decoded as CP932 (names copied from Windows media), otherwise with
// U+FFFD for every byte that fits neither.
std::string displayName(std::string_view raw);

// Whether CP932 holds the character: it has a code, and that code decodes back to the
// same character. Some characters are written one way only (U+2212 MINUS SIGN as 0x817C,
// which reads back as U+FF0D FULLWIDTH HYPHEN-MINUS; U+00A5 as 0x5C, a backslash); those,
// like characters without a code, are not held.
bool cp932Holds(char32_t cp);
// Text as the logs and printouts hold it: every character that CP932 does not hold (and
// every byte that is not UTF-8) becomes '?', a character no Windows file name holds, so
// that a name written this way never names another file. Characters CP932 holds stay as
// they are, so this is also the text of the CP932 line read back.
std::string cp932HeldText(std::string_view utf8);
// The same text as CP932 bytes (what a log line is written as).
std::string toCp932Held(std::string_view utf8);

// CP932 codes of the characters of a UTF-8 string, one per character:
// 0..255 for single-byte characters, lead*256+trail for double-byte ones,
// 0x3F for characters without a CP932 code (and for invalid UTF-8 bytes).
std::vector<uint16_t> cp932Codes(std::string_view utf8);
// CP932 code of one Unicode code point (0x3F when it has none).
uint16_t cp932CodeOf(char32_t cp);

// Decodes one chunk of CP932 bytes to UTF-8 by table, character for character as the
// system converter decodes (same characters, same bytes refused). Converts whole
// characters from the start of `in` while their UTF-8 fits into `out`; `inUsed` and
// `outUsed` tell how far it came. It stops before an invalid byte or pair (Invalid),
// before a lead byte that is the last byte of the chunk (LeadAtEnd: hand it in again
// with the bytes that follow) or before a character whose UTF-8 would not fit.
// hasCp932Decoder() is false when the tables could not be built (no system converter).
enum class Cp932Stop { Done, LeadAtEnd, Invalid, OutputFull };
bool hasCp932Decoder();
Cp932Stop decodeCp932(const unsigned char* in, size_t inLen, unsigned char* out, size_t outCap, size_t& inUsed,
                      size_t& outUsed);

// ---- Value and name rules ------------------------------------------------------
bool IsDigits(std::string_view s);
bool IsInteger(std::string_view s);
bool IsPositiveReal(std::string_view s);
bool IsReal(std::string_view s);
bool IsAlnum(std::string_view s);
bool IsUpperAlnum(std::string_view s);
bool IsFullWidth(std::string_view s);
bool IsUsableText(std::string_view s);
bool IsDateYMD(std::string_view s, std::string_view sep);
bool IsUpperPath(std::string_view s);
bool IsUpperFileName(std::string_view s);
bool IsUsableMultiLineText(std::string_view s);
bool IsFileName84(std::string_view s);
bool IsFolderName8(std::string_view s);

// ---- Measures and conversions --------------------------------------------------
int32_t GetByteLength(std::string_view s);  // bytes in CP932
int32_t toNumber(std::string_view s);       // numeric text truncated toward zero, else 0
std::string trimNull(std::string_view s);   // cut before the first NUL
std::string trimBlanks(std::string_view s); // strip U+0020 at both ends only
std::string upperAscii(std::string_view s); // a-z to A-Z, everything else as it is
int countChars(std::string_view utf8);      // characters (code points) of a UTF-8 string
std::string substrChars(std::string_view utf8, int start, int count); // by characters, 0-based

// ---- Wildcard matching ---------------------------------------------------------
// "?" one character, "*" any run, "#" one digit, "[...]" one of a list with ranges,
// "[!...]" one not in the list; everything else matches itself; the whole string must
// match. Compares characters by code (case-sensitive). Works on characters, not bytes.
bool LikeMatch(std::string_view text, std::string_view pattern);
// The same, ignoring ASCII letter case (file-system wildcards as Windows applies them).
bool LikeMatchNoCase(std::string_view text, std::string_view pattern);

// A pattern read once and matched many times; matches() answers exactly as LikeMatch.
// A pattern and text in ASCII are matched by the compiled form, anything else by
// LikeMatch itself.
class LikePattern {
public:
    LikePattern() = default;
    explicit LikePattern(std::string_view pattern);
    bool matches(std::string_view text) const;
    const std::string& text() const { return pattern_; }

private:
    struct Element {
        enum Kind : uint8_t { Literal, Any, Star, Set } kind = Literal;
        char literal = 0;
        uint64_t set[2] = {0, 0};  // ASCII characters a Set element takes
    };
    std::string pattern_;
    bool compiled_ = false;
    std::vector<Element> elements_;
};

// ---- Small routines ------------------------------------------------------------
std::string GetResultTypeWord(int intResultType);  // 1 地籍調査, 2 先行調査, else 不明
std::string GetResultTypeName(int intResultType);  // 1 地籍調査, 2 官民境界等先行調査, else (業務不明)
std::string GetDriveRoot(std::string_view path);   // "D:\" / "\\SRV\SHARE\" / ""
// Sorts ascending; mode 0 by character code, 1 ignoring letter case.
void SortStrings(std::vector<std::string>& items, int compareMode);
// Three-way comparison in a compare mode (0 code order, 1 ignoring ASCII case).
int compareText(std::string_view a, std::string_view b, int compareMode);

}  // namespace qm
