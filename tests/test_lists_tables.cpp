#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

#include "foundation/csvread.h"
#include "foundation/strlist.h"
#include "foundation/text.h"

using namespace qm;
namespace fs = std::filesystem;

// ---- CStrList ------------------------------------------------------------------

TEST(StrList, AddSearchGetAndGrowth) {
    CStrList l;
    EXPECT_EQ(l.GetListCnt(), 0);
    EXPECT_EQ(l.capacity(), 0);
    EXPECT_EQ(l.SearchData("x"), -1);
    EXPECT_EQ(l.GetData(0), "");
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(l.AddData("s" + std::to_string(i)));
    EXPECT_EQ(l.capacity(), 10);
    EXPECT_TRUE(l.AddData("s10"));
    EXPECT_EQ(l.capacity(), 20);
    for (int i = 0; i <= 10; ++i) EXPECT_EQ(l.GetData(i), "s" + std::to_string(i));
    EXPECT_EQ(l.GetData(11), "");
    EXPECT_EQ(l.GetData(-1), "");
    EXPECT_EQ(l.SearchData("s7"), 7);
    EXPECT_EQ(l.SearchData("S7"), -1);

    EXPECT_TRUE(l.AddData("s3"));          // duplicates kept
    EXPECT_EQ(l.GetListCnt(), 12);
    EXPECT_EQ(l.SearchData("s3"), 3);      // the first one
    EXPECT_FALSE(l.AddData("s3", 1));
    EXPECT_EQ(l.GetListCnt(), 12);
    EXPECT_TRUE(l.AddData("S3", 1));       // exact comparison
    l.ClearData();
    EXPECT_EQ(l.GetListCnt(), 0);
    EXPECT_EQ(l.capacity(), 0);
    EXPECT_EQ(l.GetData(0), "");
}

TEST(StrList, ShortSortHonoursCompareMode) {
    CStrList l;
    for (const char* s : {"b", "abc", "ABC", "a"}) l.AddData(s);
    l.SortAsc(1);
    // "abc" and "ABC" compare equal ignoring case and keep the exchange sort's order
    EXPECT_EQ(l.GetData(0), "a");
    EXPECT_EQ(l.GetData(1), "ABC");
    EXPECT_EQ(l.GetData(2), "abc");
    EXPECT_EQ(l.GetData(3), "b");
    l.SortAsc(0);
    EXPECT_EQ(l.GetData(0), "ABC");
    EXPECT_EQ(l.GetData(1), "a");
}

TEST(StrList, LongSortUsesCodeOrder) {
    CStrList l;
    for (int i = 0; i < 48; ++i) l.AddData("m" + std::to_string(100 + i));
    l.AddData("abc");
    l.AddData("ABC");
    l.SortAsc(1);
    EXPECT_EQ(l.GetData(0), "ABC");
    EXPECT_EQ(l.GetData(1), "abc");
}

TEST(StrList, SortsLargeSortedAndUniformListsCorrectly) {
    // Beyond 32768 entries, already sorted (deepest partitions), reversed, uniform and random.
    const int n = 40000;
    std::vector<std::string> sorted;
    for (int i = 0; i < n; ++i) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "F%07d", i);
        sorted.emplace_back(buf);
    }
    auto check = [&](std::vector<std::string> input) {
        CStrList l;
        for (auto& s : input) l.AddData(s);
        l.SortAsc(0);
        std::sort(input.begin(), input.end());
        ASSERT_EQ(l.GetListCnt(), static_cast<int32_t>(input.size()));
        for (int32_t i = 0; i < l.GetListCnt(); ++i)
            if (l.GetData(i) != input[static_cast<size_t>(i)]) FAIL() << "at " << i;
    };
    check(sorted);
    check(std::vector<std::string>(sorted.rbegin(), sorted.rend()));
    check(std::vector<std::string>(n, "same"));
    std::vector<std::string> shuffled = sorted;
    std::mt19937 rng(7);
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    for (int i = 0; i < 1000; ++i) shuffled[static_cast<size_t>(i)] = "dup";
    check(shuffled);
}

TEST(StrList, QuickSortOfAPart) {
    std::vector<std::string> v{"z", "d", "c", "b", "a", "0"};
    CStrList::QuickSort(v, 1, 4);
    EXPECT_EQ(v, (std::vector<std::string>{"z", "a", "b", "c", "d", "0"}));
    CStrList::QuickSort(v, 3, 3);
    CStrList::QuickSort(v, 4, 2);
    EXPECT_EQ(v[0], "z");
}

// ---- splitCsvLine ----------------------------------------------------------------

namespace {
using Items = std::vector<std::string>;
}

TEST(CsvSplit, EdgeCases) {
    EXPECT_EQ(splitCsvLine(""), (Items{""}));
    EXPECT_EQ(splitCsvLine("a"), (Items{"a"}));
    EXPECT_EQ(splitCsvLine("a,,b"), (Items{"a", "", "b"}));
    EXPECT_EQ(splitCsvLine("a,b,"), (Items{"a", "b", ""}));
    EXPECT_EQ(splitCsvLine(","), (Items{"", ""}));
    EXPECT_EQ(splitCsvLine("\"x,y\",z"), (Items{"x,y", "z"}));
    EXPECT_EQ(splitCsvLine("\"ab\"cd,ef"), (Items{"ab", "ef"}));
    EXPECT_EQ(splitCsvLine("\"a\""), (Items{"a"}));
    EXPECT_EQ(splitCsvLine("\"a\"\"b\""), (Items{"a"}));
    EXPECT_EQ(splitCsvLine("\"abc,d"), (Items{"\"abc,d"}));
    EXPECT_EQ(splitCsvLine("a\"b,c"), (Items{"a\"b", "c"}));
    EXPECT_EQ(splitCsvLine(" \"a\",b"), (Items{" \"a\"", "b"}));
    EXPECT_EQ(splitCsvLine("\"a\","), (Items{"a", ""}));
    EXPECT_EQ(splitCsvLine("x,\"\",y"), (Items{"x", "", "y"}));
    EXPECT_EQ(splitCsvLine("x,\"q"), (Items{"x", "\"q"}));
    EXPECT_EQ(splitCsvLine("地籍,\"調,査\",成果"), (Items{"地籍", "調,査", "成果"}));
}

// ---- CCsvRead --------------------------------------------------------------------

class CsvReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qm_csv_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string write(const std::string& name, const std::string& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    fs::path dir_;
};

TEST_F(CsvReadTest, ReadsCp932WithEveryLineEnd) {
    const std::string f = write("t.txt", toCp932(";コメント\r\n地籍,調査\rA,B\nlast, x "));
    CCsvRead r;
    EXPECT_FALSE(r.IsOpened());
    EXPECT_TRUE(r.IsEof());
    EXPECT_FALSE(r.ReadFile(true));  // nothing open
    ASSERT_TRUE(r.OpenFile(f));
    EXPECT_TRUE(r.IsOpened());
    EXPECT_FALSE(r.IsEof());
    ASSERT_TRUE(r.ReadFile(true));
    EXPECT_EQ(r.ItemValue(0), ";コメント");
    EXPECT_EQ(r.ItemNum(), 1);
    ASSERT_TRUE(r.ReadFile(true));
    EXPECT_EQ(r.ItemNum(), 2);
    EXPECT_EQ(r.ItemValue(0), "地籍");
    EXPECT_EQ(r.ItemValue(1), "調査");
    ASSERT_TRUE(r.ReadFile(true));
    EXPECT_EQ(r.ItemValue(1), "B");
    EXPECT_EQ(r.ItemValue(2), "");  // cleared beyond ItemNum
    EXPECT_FALSE(r.IsEof());
    ASSERT_TRUE(r.ReadFile(false));
    EXPECT_EQ(r.ItemValue(1), " x ");
    EXPECT_TRUE(r.IsEof());
    EXPECT_EQ(r.RecordNum(), 4);
    EXPECT_EQ(r.ItemValue(-1), "");
    EXPECT_EQ(r.ItemValue(128), "");
    try {
        r.ReadFile(true);
        FAIL() << "read past the end";
    } catch (const CsvError& e) {
        EXPECT_EQ(e.number(), 62);
    }
    r.CloseFile();
    EXPECT_FALSE(r.IsOpened());
}

TEST_F(CsvReadTest, TrimmingAndBlankLines) {
    const std::string f = write("t.txt", " a ,\t b\t, \"q\" ,\xE3\x80\x80x\r\n\r\n");
    CCsvRead r;
    ASSERT_TRUE(r.OpenFile(f));
    ASSERT_TRUE(r.ReadFile(true));
    EXPECT_EQ(r.ItemValue(0), "a");
    EXPECT_EQ(r.ItemValue(1), "\t b\t");
    EXPECT_EQ(r.ItemValue(2), "\"q\"");
    EXPECT_FALSE(r.IsEof());
    ASSERT_TRUE(r.ReadFile(true));  // the empty second line
    EXPECT_EQ(r.ItemNum(), 1);
    EXPECT_EQ(r.ItemValue(0), "");
    EXPECT_TRUE(r.IsEof());
}

TEST_F(CsvReadTest, EmptyMissingFolderAndHidden) {
    CCsvRead r;
    ASSERT_TRUE(r.OpenFile(write("empty.txt", "")));
    EXPECT_TRUE(r.IsEof());
    EXPECT_EQ(r.RecordNum(), 0);
    CCsvRead m;
    EXPECT_FALSE(m.OpenFile((dir_ / "missing.txt").string()));
    EXPECT_FALSE(m.IsOpened());
    EXPECT_FALSE(m.OpenFile(dir_.string()));
    EXPECT_FALSE(m.OpenFile(write(".hidden.txt", "a\r\n")));
    // A failed open keeps the file that is open.
    const std::string f = write("one.txt", "x\r\n");
    ASSERT_TRUE(m.OpenFile(f));
    EXPECT_FALSE(m.OpenFile((dir_ / "missing.txt").string()));
    EXPECT_TRUE(m.IsOpened());
    ASSERT_TRUE(m.ReadFile(true));
    EXPECT_EQ(m.ItemValue(0), "x");
}

TEST_F(CsvReadTest, ItemLimit) {
    std::string line128, line129;
    for (int i = 0; i < 128; ++i) line128 += (i ? "," : "") + std::to_string(i);
    line129 = line128 + ",128";
    CCsvRead r;
    ASSERT_TRUE(r.OpenFile(write("t.txt", line128 + "\r\n" + line129 + "\r\n")));
    ASSERT_TRUE(r.ReadFile(true));
    EXPECT_EQ(r.ItemNum(), 128);
    EXPECT_EQ(r.ItemValue(127), "127");
    try {
        r.ReadFile(true);
        FAIL() << "129 items";
    } catch (const CsvError& e) {
        EXPECT_EQ(e.number(), 9);
    }
}

TEST_F(CsvReadTest, InvalidBytesBecomeReplacementCharacters) {
    CCsvRead r;
    ASSERT_TRUE(r.OpenFile(write("t.txt", "a\x80,b\r\n")));
    ASSERT_TRUE(r.ReadFile(true));
    EXPECT_EQ(r.ItemValue(0), "a\uFFFD");
    EXPECT_EQ(r.ItemValue(1), "b");
}
