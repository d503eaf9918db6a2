// The check-result document printed for one selection of the result view.
#include "models/resultprint.h"
#include "models/resultreport.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

MediumResult mediumWithFindings(int number) {
    MediumResult m;
    m.number = number;
    for (const auto& info : kCheckTypes) {
        CheckTypeResult t;
        t.key = info.key;
        m.types.push_back(t);
    }
    LoggedFinding f;
    f.number = 20101;
    f.place = "/INDEX/業務情報/業務名称";
    f.occurrence = 2;
    f.message = "必須要素が記入されていません";
    m.types[1].findings.push_back(f);
    return m;
}

TEST(ResultPrintTest, TitlesSubTitlesAndRowsFollowTheSelection) {
#ifdef _WIN32
    const std::string disk1 = "D:\\data\\disk1\\", root = "D:\\", d1 = "D:\\m\\d1\\";
    const std::string indexFile = "disk1\\INDEX_D.XML", surveyFile = "D:\\SURVEY\\SURVEY.XML",
                      tskFile = "d1\\SURVEY\\TISEKI\\SURV_TSK.XML";
#else
    const std::string disk1 = "/data/disk1/", root = "/", d1 = "/m/d1/";
    const std::string indexFile = "disk1/INDEX_D.XML", surveyFile = "/SURVEY/SURVEY.XML",
                      tskFile = "d1/SURVEY/TISEKI/SURV_TSK.XML";
#endif
    const MediumResult m = mediumWithFindings(2);
    print::PrintDocument doc = checkResultDocument(m, 1, disk1);
    EXPECT_EQ(doc.kind, print::DocKind::ErrLog);
    EXPECT_EQ(doc.title, "業務管理ファイルチェック結果\u3000（成果2枚目）");
    EXPECT_EQ(doc.subTitle, "チェックファイル " + indexFile);
    ASSERT_EQ(doc.records.size(), 1u);
    EXPECT_EQ(doc.records[0].name, "/INDEX/業務情報/業務名称(2番目)");
    EXPECT_EQ(doc.records[0].content, "必須要素が記入されていません");

    // A medium checked from a root keeps the whole path; each check type names its file.
    EXPECT_EQ(checkResultDocument(m, 0, root).subTitle, "チェック場所 " + root);
    EXPECT_EQ(checkResultDocument(m, 2, root).subTitle, "チェックファイル " + surveyFile);
    EXPECT_EQ(checkResultDocument(m, 3, d1).subTitle, "チェックファイル " + tskFile);
    EXPECT_TRUE(checkResultDocument(m, 0, root).records.empty());

    // The whole delivery: "（総合）" and no sub-title.
    MediumResult whole = mediumWithFindings(0);
    doc = checkResultDocument(whole, 0, "");
    EXPECT_EQ(doc.title, "フォルダ・ファイル構成チェック結果\u3000（総合）");
    EXPECT_EQ(doc.subTitle, "");
}

// A check that could not be made is no clean result: the report prints it with its reason
// instead of the page that says nothing was found.
TEST(ResultPrintTest, ReportNamesChecksThatCouldNotBeMade) {
    RunSummary s;
    MediumResult m = mediumWithFindings(1);
    m.types[1].findings.clear();
    m.types[2].failure = "フォルダを読み取れないため、管理ファイルをチェックできませんでした: SURVEY";
    s.media.push_back(m);
    MediumRecord stored;
    stored.path = "/data/disk1/";
    auto docs = reportDocuments(s, {stored}, stored.path, "2026/01/01");
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0].title, "測量情報管理ファイルチェック結果\u3000（成果1枚目）");
    ASSERT_EQ(docs[0].records.size(), 1u);
    EXPECT_EQ(docs[0].records[0].name, "");
    EXPECT_EQ(docs[0].records[0].content, m.types[2].failure);

    // The failure leads the findings of the same check.
    s.media[0].types[2].findings = mediumWithFindings(1).types[1].findings;
    docs = reportDocuments(s, {stored}, stored.path, "2026/01/01");
    ASSERT_EQ(docs[0].records.size(), 2u);
    EXPECT_EQ(docs[0].records[1].content, "必須要素が記入されていません");

    // Without failures or findings the one clean page remains.
    s.media[0].types[2] = CheckTypeResult{};
    s.media[0].types[2].key = "Survey";
    docs = reportDocuments(s, {stored}, stored.path, "2026/01/01");
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0].title, "成果チェック結果");
}

}  // namespace
}  // namespace qm
