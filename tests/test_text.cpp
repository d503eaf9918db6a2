#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "foundation/text.h"

using namespace qm;

namespace {
std::string utf8Of(char32_t cp) {
    std::string out;
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
    return out;
}
// The character whose CP932 code is code (decoded by the converter).
std::string charOfCode(uint16_t code) {
    std::string bytes;
    if (code > 0xFF) bytes += static_cast<char>(code >> 8);
    bytes += static_cast<char>(code & 0xFF);
    return fromCp932(bytes);
}
}  // namespace

TEST(TextCp932, CodesOfKnownCharacters) {
    EXPECT_EQ(cp932CodeOf(U'あ'), 0x82A0);
    EXPECT_EQ(cp932CodeOf(U'①'), 0x8740);
    EXPECT_EQ(cp932CodeOf(U'Ⅰ'), 0x8754);        // NEC row 13 before the IBM copy 0xFA4A
    EXPECT_EQ(cp932CodeOf(U'\u2170'), 0xFA40);   // ⅰ: IBM before NEC-selected 0xEEEF
    EXPECT_EQ(cp932CodeOf(U'\uFFE2'), 0x81CA);   // ¬: JIS before 0xEEF9 / 0xFA54
    EXPECT_EQ(cp932CodeOf(U'\u2235'), 0x81E6);   // ∵: JIS before 0x879A / 0xFA5B
    EXPECT_EQ(cp932CodeOf(U'\u2252'), 0x81E0);   // ≒: JIS before 0x8790
    EXPECT_EQ(cp932CodeOf(U'\u9AD9'), 0xFBFC);   // 髙: IBM before NEC-selected
    EXPECT_EQ(cp932CodeOf(U'\uFF5E'), 0x8160);   // ～
    EXPECT_EQ(cp932CodeOf(U'ｱ'), 0xB1);
    EXPECT_EQ(cp932CodeOf(U'A'), 0x41);
    EXPECT_EQ(cp932CodeOf(U'\\'), 0x5C);
    EXPECT_EQ(cp932CodeOf(U'\u3000'), 0x8140);
    EXPECT_EQ(cp932CodeOf(U'\U0001F600'), 0x3F);
    EXPECT_EQ(cp932CodeOf(U'\u00E9'), 0x3F);
}

TEST(TextCp932, CodesOfStringsAndInvalidBytes) {
    EXPECT_EQ(cp932Codes("aあ\xF0\x9F\x98\x80ｱ"), (std::vector<uint16_t>{0x61, 0x82A0, 0x3F, 0xB1}));
    EXPECT_EQ(cp932Codes("a\xFF" "b"), (std::vector<uint16_t>{0x61, 0x3F, 0x62}));
    EXPECT_TRUE(cp932Codes("").empty());
}

TEST(TextCp932, RoundTrip) {
    const std::string text = "地籍調査 髙橋 ①Ⅰⅰ～ｱｲｳ ABC\\~";
    const std::string bytes = toCp932(text);
    EXPECT_EQ(fromCp932(bytes), text);
    EXPECT_EQ(toCp932("髙"), "\xFB\xFC");
    EXPECT_EQ(toCp932("①"), "\x87\x40");
    EXPECT_EQ(toCp932("あ"), "\x82\xA0");
    EXPECT_EQ(fromCp932("\xFB\xFC"), "髙");
    EXPECT_EQ(fromCp932("\xED\x40"), fromCp932("\xFA\x5C"));  // NEC-selected and IBM copies decode alike
}

TEST(TextCp932, UnconvertibleAndInvalid) {
    EXPECT_EQ(toCp932("a\u00E9b\U0001F600c"), "a?b?c");
    EXPECT_EQ(toCp932("a\xFF" "b"), "a?b");
    EXPECT_EQ(fromCp932("a\x80" "b"), "a\uFFFD" "b");
    EXPECT_EQ(fromCp932("a\x82"), "a\uFFFD");  // lead byte at the end
}

// What a log holds of a name: a character whose CP932 code reads back as another
// character (written one way only) or that has no code becomes '?'; every character that
// CP932 holds, the NEC and IBM extensions included, stays, and the bytes read back are
// the text. Over the whole BMP, a held character is exactly one that survives the round trip.
TEST(TextCp932, HeldTextOfNamesForTheLogs) {
    EXPECT_EQ(cp932HeldText("A\u2212B.PDF"), "A?B.PDF");         // MINUS SIGN, not U+FF0D
    EXPECT_EQ(cp932HeldText("資料\U0001F600.PDF"), "資料?.PDF");
    EXPECT_EQ(cp932HeldText("\u301C\u2016\u00A2\u00A3\u00AC\u00A5\u203E\u2014"), "????????");
    EXPECT_EQ(cp932HeldText("a\xFF" "b"), "a?b");
    const std::string held = "髙橋①.PDF Ｃ－１ ～∥￠￡￢―＼ ｱｲｳ Ⅰⅰ∑≒ \\~?";
    EXPECT_EQ(cp932HeldText(held), held);
    EXPECT_EQ(toCp932Held(held), toCp932(held));
    EXPECT_EQ(toCp932Held("A\u2212B"), "A?B");
    EXPECT_EQ(fromCp932(toCp932Held("X\u2212Y①\U0001F600")), cp932HeldText("X\u2212Y①\U0001F600"));
    int mismatches = 0;
    for (char32_t cp = 1; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const bool roundTrip = fromCp932(toCp932(utf8Of(cp))) == utf8Of(cp);
        if (cp932Holds(cp) != roundTrip && ++mismatches < 5) ADD_FAILURE() << std::hex << "U+" << static_cast<uint32_t>(cp);
    }
    EXPECT_EQ(mismatches, 0);
}

// The byte length and the rules must see the same codes that a written file holds.
TEST(TextCp932, CodesAgreeWithConverterForWholeBmp) {
    int mismatches = 0;
    for (char32_t cp = 1; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const std::string bytes = toCp932(utf8Of(cp));
        const uint16_t code = cp932CodeOf(cp);
        const std::string expected = code > 0xFF ? std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}
                                                 : std::string(1, static_cast<char>(code));
        if (bytes != expected && ++mismatches < 5) ADD_FAILURE() << std::hex << "U+" << static_cast<uint32_t>(cp);
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(TextUtf8, ValidityAndDisplayNames) {
    EXPECT_TRUE(isValidUtf8("abc地籍"));
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xE3\x81"));          // cut short
    EXPECT_EQ(displayName("SURVEY"), "SURVEY");
    EXPECT_EQ(displayName("\x92\x6E\x90\xD0"), "地籍");   // CP932 name from a Windows medium
    EXPECT_EQ(displayName("a\xFF"), "a\uFFFD");
    EXPECT_EQ(displayName("\xED\x40"), "\u7E8A");  // NEC-selected code: decoded, though written back as 0xFA5C
    EXPECT_EQ(countChars("a地\xFF"), 3);
    EXPECT_EQ(substrChars("地籍調査", 1, 2), "籍調");
    EXPECT_EQ(substrChars("abc", 2, 5), "c");
    EXPECT_EQ(substrChars("abc", 5, 1), "");
}

TEST(TextRules, NumericRules) {
    for (auto f : {IsDigits, IsInteger, IsPositiveReal, IsReal}) EXPECT_FALSE(f(""));
    EXPECT_TRUE(IsDigits("0123456789"));
    EXPECT_FALSE(IsDigits("１２"));   // full-width digits
    EXPECT_FALSE(IsDigits("12a"));
    EXPECT_TRUE(IsInteger("-12"));
    EXPECT_FALSE(IsInteger("1-2"));
    EXPECT_FALSE(IsInteger("+12"));
    EXPECT_TRUE(IsInteger("-"));      // the rule looks at characters only
    EXPECT_TRUE(IsPositiveReal("12.5"));
    EXPECT_TRUE(IsPositiveReal(".5"));
    EXPECT_FALSE(IsPositiveReal("1.2.3"));
    EXPECT_FALSE(IsPositiveReal("-1"));
    EXPECT_TRUE(IsReal("-0.5"));
    EXPECT_FALSE(IsReal("1.2.3"));
    EXPECT_FALSE(IsReal("0.-5"));
}

TEST(TextRules, LetterRules) {
    for (auto f : {IsAlnum, IsUpperAlnum, IsFullWidth, IsUsableText, IsUpperPath, IsUpperFileName,
                   IsUsableMultiLineText, IsFileName84, IsFolderName8})
        EXPECT_TRUE(f(""));
    EXPECT_TRUE(IsAlnum("azAZ09"));
    EXPECT_FALSE(IsAlnum("a_b"));
    EXPECT_FALSE(IsAlnum("Ａ"));
    EXPECT_TRUE(IsUpperAlnum("AZ09"));
    EXPECT_FALSE(IsUpperAlnum("Az"));
    EXPECT_TRUE(IsUpperPath("SURVEY/DOC"));
    EXPECT_FALSE(IsUpperPath("DOC/A.PDF"));
    EXPECT_TRUE(IsUpperFileName("A_1.PDF"));
    EXPECT_FALSE(IsUpperFileName("a.pdf"));
    EXPECT_TRUE(IsFileName84("ABCDEFGH.PDFX"));
    EXPECT_TRUE(IsFileName84("ABCDEFGH"));
    EXPECT_FALSE(IsFileName84("ABCDEFGHI"));
    EXPECT_FALSE(IsFileName84("ABCDEFGHI.PDF"));
    EXPECT_FALSE(IsFileName84("ABCDEFGH.PDFXY"));
    EXPECT_TRUE(IsFileName84("A.B.C"));
    EXPECT_FALSE(IsFileName84("A.B.C.D.E"));
    EXPECT_TRUE(IsFolderName8("WORK_01"));
    EXPECT_FALSE(IsFolderName8("work"));
    EXPECT_FALSE(IsFolderName8("ABCDEFGHI"));
    EXPECT_FALSE(IsFolderName8("A.B"));
}

TEST(TextRules, FullWidthBoundaries) {
    EXPECT_TRUE(IsFullWidth("ＡＢ"));
    EXPECT_TRUE(IsFullWidth("あ漢"));
    EXPECT_FALSE(IsFullWidth("①"));
    EXPECT_FALSE(IsFullWidth("A"));
    EXPECT_FALSE(IsFullWidth("ｱ"));
    EXPECT_TRUE(IsFullWidth(charOfCode(0x8140)));
    EXPECT_TRUE(IsFullWidth(charOfCode(0x81FC)));
    EXPECT_TRUE(IsFullWidth(charOfCode(0x84BE)));
    EXPECT_TRUE(IsFullWidth(charOfCode(0x889F)));   // 亜
    EXPECT_TRUE(IsFullWidth(charOfCode(0xEAA4)));   // 熙
    EXPECT_FALSE(IsFullWidth(charOfCode(0xED40)));  // NEC-selected IBM extension
    EXPECT_FALSE(IsFullWidth(charOfCode(0xFA40)));  // IBM extension
}

TEST(TextRules, UsableSetBoundaries) {
    EXPECT_TRUE(IsUsableText("普通の文章 ABC abc 123 ()"));
    EXPECT_TRUE(IsUsableText(charOfCode(0x81AC)));   // 〓
    EXPECT_TRUE(IsUsableText(charOfCode(0x8790)));   // ≒ of row 13 is examined as its JIS code 0x81E0
    EXPECT_TRUE(IsUsableText(charOfCode(0x81E8)));   // ∬
    EXPECT_TRUE(IsUsableText(charOfCode(0x84BE)));   // ╂
    EXPECT_TRUE(IsUsableText(charOfCode(0x81B8)));   // ∈
    EXPECT_TRUE(IsUsableText(charOfCode(0x81FC)));   // ◯
    EXPECT_FALSE(IsUsableText(charOfCode(0x824F)));  // ０ full-width digit
    EXPECT_FALSE(IsUsableText(charOfCode(0x8260)));  // Ａ
    EXPECT_FALSE(IsUsableText(charOfCode(0x829A)));  // ｚ
    EXPECT_TRUE(IsUsableText(charOfCode(0x829F)));   // ぁ
    EXPECT_TRUE(IsUsableText(charOfCode(0x82F1)));   // ん
    EXPECT_TRUE(IsUsableText(charOfCode(0x8396)));   // ヶ
    EXPECT_FALSE(IsUsableText(charOfCode(0x8740))); // ①
    EXPECT_FALSE(IsUsableText(charOfCode(0x8753)));
    EXPECT_TRUE(IsUsableText(charOfCode(0x8754)));   // Ⅰ
    EXPECT_TRUE(IsUsableText(charOfCode(0x875D)));   // Ⅹ
    EXPECT_FALSE(IsUsableText(charOfCode(0x875F)));  // ㍉ (0x875E is unassigned)
    EXPECT_TRUE(IsUsableText(charOfCode(0x889F)));
    EXPECT_TRUE(IsUsableText(charOfCode(0x9872)));   // 腕: end of the first level
    EXPECT_TRUE(IsUsableText(charOfCode(0x989F)));   // 弌: start of the second level
    EXPECT_TRUE(IsUsableText(charOfCode(0xEAA4)));
    EXPECT_FALSE(IsUsableText(charOfCode(0xED40)));
    EXPECT_FALSE(IsUsableText(charOfCode(0xF040)));  // user-defined
    EXPECT_FALSE(IsUsableText(charOfCode(0xFA40)));
    EXPECT_FALSE(IsUsableText("\t"));
    EXPECT_FALSE(IsUsableText("ｱ"));
    EXPECT_FALSE(IsUsableText("Ａ"));
    EXPECT_FALSE(IsUsableText("a\r\nb"));
    EXPECT_FALSE(IsUsableText("\x7F"));
    EXPECT_TRUE(IsUsableText("\u00E9"));  // no CP932 code: examined as "?"
    EXPECT_TRUE(IsUsableMultiLineText("a\r\nb\nc"));
    EXPECT_FALSE(IsUsableMultiLineText("\t"));
    EXPECT_FALSE(IsUsableMultiLineText("ｱ"));
    EXPECT_FALSE(IsUsableMultiLineText("①"));
}

TEST(TextRules, Dates) {
    EXPECT_TRUE(IsDateYMD("2017-04-01", "-"));
    EXPECT_TRUE(IsDateYMD("2016-02-29", "-"));
    EXPECT_TRUE(IsDateYMD("2000-02-29", "-"));
    EXPECT_FALSE(IsDateYMD("1900-02-29", "-"));
    EXPECT_FALSE(IsDateYMD("2017-02-29", "-"));
    EXPECT_FALSE(IsDateYMD("2017/04/01", "-"));
    EXPECT_TRUE(IsDateYMD("2017/04/01", "/"));
    EXPECT_FALSE(IsDateYMD("2017-4-1", "-"));
    EXPECT_FALSE(IsDateYMD("2017-04-01 ", "-"));
    EXPECT_FALSE(IsDateYMD("", "-"));
    EXPECT_FALSE(IsDateYMD("2017-13-01", "-"));
    EXPECT_FALSE(IsDateYMD("2017-04-31", "-"));
    EXPECT_FALSE(IsDateYMD("2017-00-10", "-"));
    EXPECT_FALSE(IsDateYMD("2017-04-00", "-"));
    EXPECT_FALSE(IsDateYMD("0000-01-01", "-"));
    EXPECT_TRUE(IsDateYMD("0001-01-01", "-"));
    EXPECT_TRUE(IsDateYMD("9999-12-31", "-"));
    EXPECT_FALSE(IsDateYMD("２０１７-04-01", "-"));
    EXPECT_FALSE(IsDateYMD("2017-+4-01", "-"));
}

TEST(TextMeasures, ByteLengthAndNumbers) {
    EXPECT_EQ(GetByteLength("ＡＢ1"), 5);
    EXPECT_EQ(GetByteLength("ｱｲ"), 2);
    EXPECT_EQ(GetByteLength("\U0001F600"), 1);
    EXPECT_EQ(GetByteLength(""), 0);
    EXPECT_EQ(toNumber("12.9"), 12);
    EXPECT_EQ(toNumber("-3.7"), -3);
    EXPECT_EQ(toNumber("abc"), 0);
    EXPECT_EQ(toNumber(""), 0);
    EXPECT_EQ(toNumber("  +42  "), 42);
    EXPECT_EQ(toNumber(".5"), 0);
    EXPECT_EQ(toNumber("7."), 7);
    EXPECT_EQ(toNumber("."), 0);
    EXPECT_EQ(toNumber("-"), 0);
    EXPECT_EQ(toNumber("1 2"), 0);
    EXPECT_EQ(toNumber("1e3"), 0);
    EXPECT_EQ(toNumber("2147483647"), INT32_MAX);
    EXPECT_EQ(toNumber("2147483648"), INT32_MAX);
    EXPECT_EQ(toNumber("-2147483648"), INT32_MIN);
    EXPECT_EQ(toNumber("-99999999999999999999"), INT32_MIN);
    EXPECT_EQ(trimNull(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(trimNull("abc"), "abc");
    EXPECT_EQ(trimBlanks("  a b \t "), "a b \t");
    EXPECT_EQ(trimBlanks("\u3000a\u3000"), "\u3000a\u3000");
    EXPECT_EQ(upperAscii("abcあz"), "ABCあZ");
}

TEST(TextLike, Basics) {
    EXPECT_TRUE(LikeMatch("D:\\DATA", "[A-Za-z]:*"));
    EXPECT_FALSE(LikeMatch("1:\\", "[A-Za-z]:*"));
    EXPECT_TRUE(LikeMatch("SURVEY\\TISEKI\\WORK\\A", "SURVEY\\TISEKI\\WORK\\*"));
    EXPECT_TRUE(LikeMatch("ABCD0001.PDF", "[A-Z][A-Z][A-Z1-9][A-Z]####.*"));
    EXPECT_FALSE(LikeMatch("AB0D0001.PDF", "[A-Z][A-Z][A-Z1-9][A-Z]####.*"));
    EXPECT_FALSE(LikeMatch("ABCD00A1.PDF", "[A-Z][A-Z][A-Z1-9][A-Z]####.*"));
    EXPECT_TRUE(LikeMatch("TIND_D01.DTD", "TIND_D??.DTD"));
    EXPECT_FALSE(LikeMatch("TIND_D1.DTD", "TIND_D??.DTD"));
    EXPECT_FALSE(LikeMatch("tind_d01.dtd", "TIND_D??.DTD"));
    EXPECT_TRUE(LikeMatchNoCase("tind_d01.dtd", "TIND_D??.DTD"));
    EXPECT_TRUE(LikeMatchNoCase("PROC_a", "PROC_[A-Z1-9]"));
    EXPECT_TRUE(LikeMatchNoCase("X", "[a-z]"));
    EXPECT_TRUE(LikeMatch("地籍.DTD", "??.DTD"));  // characters, not bytes
    EXPECT_TRUE(LikeMatch("", "*"));
    EXPECT_FALSE(LikeMatch("", "?"));
    EXPECT_TRUE(LikeMatch("abc", "a*c"));
    EXPECT_TRUE(LikeMatch("ac", "a*c"));
    EXPECT_FALSE(LikeMatch("abcd", "a*c"));
    EXPECT_TRUE(LikeMatch("abcbc", "a*bc"));
    EXPECT_TRUE(LikeMatch("a*b", "a[*]b"));
    EXPECT_FALSE(LikeMatch("axb", "a[*]b"));
    EXPECT_TRUE(LikeMatch("x", "[!0-9]"));
    EXPECT_FALSE(LikeMatch("5", "[!0-9]"));
    EXPECT_TRUE(LikeMatch("-", "[a-]"));
    EXPECT_TRUE(LikeMatch("[ab", "[ab"));   // unterminated "[" is literal
    EXPECT_FALSE(LikeMatch("a", "[ab"));
    EXPECT_TRUE(LikeMatch("5", "#"));
    EXPECT_FALSE(LikeMatch("５", "#"));
    EXPECT_TRUE(LikeMatch("あ", "[ぁ-ん]"));
}

TEST(TextLike, NoExponentialBacktracking) {
    const std::string text(5000, 'a');
    EXPECT_FALSE(LikeMatch(text, "*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(LikeMatch(text + "b", "*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(TextSmall, ResultTypesAndDriveRoots) {
    EXPECT_EQ(GetResultTypeWord(1), "地籍調査");
    EXPECT_EQ(GetResultTypeWord(2), "先行調査");
    EXPECT_EQ(GetResultTypeWord(0), "不明");
    EXPECT_EQ(GetResultTypeName(2), "官民境界等先行調査");
    EXPECT_EQ(GetResultTypeName(3), "(業務不明)");
    EXPECT_EQ(GetDriveRoot("D:\\DATA"), "D:\\");
    EXPECT_EQ(GetDriveRoot("\\\\SRV\\SHARE\\X"), "\\\\SRV\\SHARE\\");
    EXPECT_EQ(GetDriveRoot("\\\\SRV\\SHARE"), "\\\\SRV\\SHARE\\");
    EXPECT_EQ(GetDriveRoot("\\\\\\SHARE"), "");
    EXPECT_EQ(GetDriveRoot("\\\\SRV\\"), "");
    EXPECT_EQ(GetDriveRoot("\\\\SRV\\\\X"), "");
    EXPECT_EQ(GetDriveRoot("DATA"), "");
    EXPECT_EQ(GetDriveRoot("/media/cd"), "");
}

TEST(TextSmall, SortStringsAndCompare) {
    std::vector<std::string> v{"b", "B", "a", "A", "c"};
    SortStrings(v, 0);
    EXPECT_EQ(v, (std::vector<std::string>{"A", "B", "a", "b", "c"}));
    std::vector<std::string> w{"b", "a", "C"};
    SortStrings(w, 1);
    EXPECT_EQ(w, (std::vector<std::string>{"a", "b", "C"}));
    EXPECT_EQ(compareText("abc", "ABC", 1), 0);
    EXPECT_LT(compareText("ABC", "abc", 0), 0);
    EXPECT_LT(compareText("ab", "abc", 1), 0);
}
