// The check-result document printed for one selection of the result view.
#include "checks/resultprint.h"

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
    const MediumResult m = mediumWithFindings(2);
    print::PrintDocument doc = checkResultDocument(m, 1, "/data/disk1/");
    EXPECT_EQ(doc.kind, print::DocKind::ErrLog);
    EXPECT_EQ(doc.title, "業務管理ファイルチェック結果\u3000（成果2枚目）");
    EXPECT_EQ(doc.subTitle, "チェックファイル disk1/INDEX_D.XML");
    ASSERT_EQ(doc.records.size(), 1u);
    EXPECT_EQ(doc.records[0].name, "/INDEX/業務情報/業務名称(2番目)");
    EXPECT_EQ(doc.records[0].content, "必須要素が記入されていません");

    // A medium checked from a root keeps the whole path; each check type names its file.
    EXPECT_EQ(checkResultDocument(m, 0, "/").subTitle, "チェック場所 /");
    EXPECT_EQ(checkResultDocument(m, 2, "/").subTitle, "チェックファイル /SURVEY/SURVEY.XML");
    EXPECT_EQ(checkResultDocument(m, 3, "/m/d1/").subTitle, "チェックファイル d1/SURVEY/TISEKI/SURV_TSK.XML");
    EXPECT_TRUE(checkResultDocument(m, 0, "/").records.empty());

    // The whole delivery: "（総合）" and no sub-title.
    MediumResult whole = mediumWithFindings(0);
    doc = checkResultDocument(whole, 0, "");
    EXPECT_EQ(doc.title, "フォルダ・ファイル構成チェック結果\u3000（総合）");
    EXPECT_EQ(doc.subTitle, "");
}

}  // namespace
}  // namespace qm
