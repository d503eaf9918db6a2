// The table-driven CP932 decoder against the system converter, and the wildcard
// matcher's byte path against its character path.
#include <gtest/gtest.h>
#ifdef _WIN32
#include "foundation/iconv_win.h"  // the system's own converter
#else
#include <iconv.h>
#endif

#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "foundation/text.h"

using namespace qm;

namespace {

struct Decoded {
    Cp932Stop stop = Cp932Stop::Done;
    size_t used = 0;
    std::string out;
};

Decoded decode(const std::string& in, size_t outCap = 4096) {
    Decoded d;
    std::string out(outCap, '\0');
    d.stop = decodeCp932(reinterpret_cast<const unsigned char*>(in.data()), in.size(),
                         reinterpret_cast<unsigned char*>(out.data()), out.size(), d.used, outCap);
    out.resize(outCap);
    d.out = out;
    return d;
}

// What iconv makes of the same bytes, in the same terms.
Decoded viaIconv(const std::string& in) {
    Decoded d;
    iconv_t cd = iconv_open("UTF-8", "CP932");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string buf = in, out(in.size() * 4 + 8, '\0');
    char* src = buf.data();
    char* dst = out.data();
    size_t left = buf.size(), room = out.size();
    if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1))
        d.stop = errno == EINVAL ? Cp932Stop::LeadAtEnd : Cp932Stop::Invalid;
    iconv_close(cd);
    d.used = in.size() - left;
    out.resize(out.size() - room);
    d.out = out;
    return d;
}

std::string cp932(const std::string& utf8) { return toCp932(utf8); }

}  // namespace

TEST(Cp932Decoder, AgreesWithTheConverterOnEveryOneAndTwoByteInput) {
    ASSERT_TRUE(hasCp932Decoder());
    for (int a = 0; a < 256; ++a) {
        for (int b = -1; b < 256; ++b) {
            std::string in(1, static_cast<char>(a));
            if (b >= 0) in += static_cast<char>(b);
            const Decoded mine = decode(in), theirs = viaIconv(in);
            ASSERT_EQ(mine.stop, theirs.stop) << std::hex << a << " " << b;
            ASSERT_EQ(mine.used, theirs.used) << std::hex << a << " " << b;
            ASSERT_EQ(mine.out, theirs.out) << std::hex << a << " " << b;
        }
    }
}

TEST(Cp932Decoder, CharactersOnlyCp932HasAndInvalidBytes) {
    // ① (NEC row 13), 髙 (IBM extension), half-width katakana, 0x5C and 0x7E as ASCII.
    const std::string text = "①髙ｶﾅ\\~ＡＢ地籍";
    const Decoded d = decode(cp932(text));
    EXPECT_EQ(d.stop, Cp932Stop::Done);
    EXPECT_EQ(d.out, text);
    EXPECT_EQ(cp932("①"), "\x87\x40");
    EXPECT_EQ(cp932("髙"), "\xFB\xFC");

    // Decoding stops before the offending character; what came before is kept.
    for (const std::string bad : {std::string("\x80"), std::string("\xA0"), std::string("\xFD"),
                                  std::string("\xFF"), std::string("\x81\x20"), std::string("\x82\x7F")}) {
        const Decoded e = decode("ab" + bad + "cd");
        EXPECT_EQ(e.stop, Cp932Stop::Invalid);
        EXPECT_EQ(e.used, 2u);
        EXPECT_EQ(e.out, "ab");
    }
    // A lead byte that ends the input is left for the next chunk.
    const Decoded lead = decode("ab\x82");
    EXPECT_EQ(lead.stop, Cp932Stop::LeadAtEnd);
    EXPECT_EQ(lead.used, 2u);
}

TEST(Cp932Decoder, ChunksSplitAnywhereAndSmallOutputGiveTheWhole) {
    const std::string text = "<成果>①髙 ｶﾀｶﾅ TC1A0001.PDF</成果>\r\n地籍調査成果ファイル名副題";
    const std::string bytes = cp932(text);
    for (size_t split = 0; split <= bytes.size(); ++split) {
        // As a parser feeds it: an unconsumed lead byte goes in again with the next chunk.
        std::string out, pending;
        for (const std::string& chunk : {bytes.substr(0, split), bytes.substr(split)}) {
            pending += chunk;
            const Decoded d = decode(pending);
            ASSERT_NE(d.stop, Cp932Stop::Invalid);
            out += d.out;
            pending.erase(0, d.used);
        }
        EXPECT_TRUE(pending.empty()) << split;
        EXPECT_EQ(out, text) << split;
    }
    // A character whose UTF-8 does not fit is never cut: it waits for the next call.
    const Decoded tight = decode(cp932("a地"), 3);
    EXPECT_EQ(tight.stop, Cp932Stop::OutputFull);
    EXPECT_EQ(tight.used, 1u);
    EXPECT_EQ(tight.out, "a");
    for (size_t cap = 3; cap <= 8; ++cap) {
        std::string out, rest = bytes;
        while (!rest.empty()) {
            const Decoded d = decode(rest, cap);
            ASSERT_TRUE(d.stop == Cp932Stop::Done || d.stop == Cp932Stop::OutputFull) << cap;
            ASSERT_GT(d.used, 0u) << cap;
            out += d.out;
            rest.erase(0, d.used);
        }
        EXPECT_EQ(out, text) << cap;
    }
}

TEST(TextLikeAscii, ByteMatchingAgreesWithCharacterMatching) {
    // Text and pattern in ASCII are matched byte by byte. The same pair with a letter
    // outside ASCII added to both ends goes through the character matcher, and that
    // letter can only match itself, so both must answer alike.
    const std::string alphabet = "AB ab1?*#[]!-\\.";
    std::mt19937 rng(20240601);
    std::uniform_int_distribution<int> len(0, 9), pick(0, static_cast<int>(alphabet.size()) - 1);
    auto randomText = [&] {
        std::string s;
        for (int n = len(rng); n > 0; --n) s += alphabet[static_cast<size_t>(pick(rng))];
        return s;
    };
    int matched = 0;
    for (int i = 0; i < 40000; ++i) {
        const std::string t = randomText(), p = randomText();
        const bool plain = LikeMatch(t, p);
        ASSERT_EQ(plain, LikeMatch(t + "é", p + "é")) << "[" << t << "] [" << p << "]";
        ASSERT_EQ(LikeMatchNoCase(t, p), LikeMatchNoCase(t + "é", p + "é")) << "[" << t << "] [" << p << "]";
        // A pattern read once answers alike, in ASCII and otherwise.
        ASSERT_EQ(LikePattern(p).matches(t), plain) << "[" << t << "] [" << p << "]";
        ASSERT_EQ(LikePattern(p).matches(t + "é"), LikeMatch(t + "é", p)) << "[" << t << "] [" << p << "]";
        ASSERT_EQ(LikePattern(p + "é").matches(t + "é"), plain) << "[" << t << "] [" << p << "]";
        matched += plain;
    }
    EXPECT_GT(matched, 100);  // the inputs do exercise matches, not only refusals
    // Ranges, negation, unterminated brackets and case folding on the byte path.
    EXPECT_TRUE(LikeMatch("TC1A0001.PDF", "[A-Z][A-Z][A-Z1-9][A-Z]####.*"));
    EXPECT_FALSE(LikeMatch("TC0A0001.PDF", "[A-Z][A-Z][A-Z1-9][A-Z]####.*"));
    EXPECT_TRUE(LikeMatch("x", "[!a-c]"));
    EXPECT_TRUE(LikeMatch("[a", "[a"));
    EXPECT_TRUE(LikeMatchNoCase("cproc_1", "CPROC_?"));
    EXPECT_TRUE(LikeMatchNoCase("Q", "[a-z]"));
    const LikePattern result("[A-Z][A-Z][A-Z1-9][A-Z]####.*");
    EXPECT_TRUE(result.matches("TC1A0001.PDF"));
    EXPECT_FALSE(result.matches("TC0A0001.PDF"));
    EXPECT_FALSE(result.matches("TC1A001.PDF"));
    EXPECT_TRUE(LikePattern("[!]a").matches("xa"));  // "[!]": any one character
    EXPECT_EQ(LikePattern("[!]a").matches("xa"), LikeMatch("xa", "[!]a"));
    EXPECT_TRUE(LikePattern("a[b").matches("a[b"));  // an unterminated "[" is itself
    EXPECT_TRUE(LikePattern("地*").matches("地籍"));
    EXPECT_FALSE(LikePattern().matches("x"));
    EXPECT_TRUE(LikePattern().matches(""));
}
