// The bundled sample deliveries against the shipped setting tables: the clean ones give
// no finding at all, the faulty one gives exactly the findings it was built to show.
#include "checks/checkrun.h"
#include "checks/inspection.h"
#include "checks/resultlog.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "run_fixture.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace qmtest;

namespace {

class NoMoreMedia : public qm::MediumLocator {
public:
    std::optional<std::string> askMedium(int, const std::string&) override { return std::nullopt; }
};

// Runs one sample as one medium with the judged result type and processes; answers the
// findings of every log as "log|code|place|occurrence" lines.
std::vector<std::string> runSample(const std::string& name, int expectedType, const std::string& expectedProcesses) {
    TempDir logs("samplelogs");
    qm::RecordingMessageSink sink;
    qm::MessageSink* previous = qm::setMessageSink(&sink);
    qm::AppState app;
    app.settingPath = std::string(QM_SOURCE_DIR) + "/Setting/";
    EXPECT_TRUE(app.useLogFolder(logs.str()));

    const std::string top = std::string(QM_SOURCE_DIR) + "/samples/" + name + "/";
    qm::CheckRunInput in;
    in.resultType = qm::JudgeResultType(qm::managementFile(top, "SURVEY\\SURVEY.XML"));
    EXPECT_EQ(in.resultType, expectedType) << name;
    qm::ProcessFlags judged;
    EXPECT_TRUE(qm::JudgeProcess(in.resultType, top, judged));
    EXPECT_EQ(judged.codes(), expectedProcesses) << name;
    in.flags = judged;
    in.mediaNum = 1;
    in.handedPath = top;
    qm::VolumeInfo info;
    if (qm::GetVolumeInfo(top, info)) in.handedSerial = info.serial;

    NoMoreMedia locator;
    std::vector<qm::MediumRecord> media;
    EXPECT_GE(qm::runCheckAll(app, in, locator, media, nullptr), 0) << name;
    EXPECT_TRUE(sink.shown.empty()) << name << ": " << (sink.shown.empty() ? "" : sink.shown[0].text);
    qm::setMessageSink(previous);

    std::vector<std::string> lines;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(logs.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const auto& log : names) {
        bool structure = log.rfind("FolderCheck_", 0) == 0;
        for (const auto& f : qm::readLogFindings((logs.path() / log).string(), structure)) {
            std::ostringstream s;
            s << log << "|" << f.number << "|" << f.place << "|" << f.occurrence;
            lines.push_back(s.str());
        }
    }
    return lines;
}

}  // namespace

TEST(SampleDeliveries, CleanCadastralDeliveryHasNoFinding) {
    EXPECT_EQ(runSample("cadastral", 1, "C,E,F1,H"), std::vector<std::string>{});
}

TEST(SampleDeliveries, CleanPreliminaryDeliveryHasNoFinding) {
    EXPECT_EQ(runSample("preliminary", 2, "E,F1,F2,H"), std::vector<std::string>{});
}

TEST(SampleDeliveries, FaultyDeliveryShowsWhatItWasBuiltFor) {
    const std::vector<std::string> expected = {
        "FolderCheck_000.Log|10701|SURVEY\\TISEKI\\DATA\\F2PROC_A|0",
        "FolderCheck_001.log|10201|SURVEY\\DOC\\Old|0",
        "FolderCheck_001.log|10203|SURVEY\\DOC\\Old\\memo.txt|0",
        "FolderCheck_001.log|10402|SURVEY\\TSUR_Dnn.DTD|0",
        "FolderCheck_001.log|10501|SURVEY\\TISEKI\\WORK\\DPROC_A|0",
        "FolderCheck_001.log|10501|SURVEY\\TISEKI\\WORK\\HPROC_A|0",
        "FolderCheck_001.log|10901|SURVEY\\TISEKI\\WORK\\CPROC_A\\TCAQ001.PDF|0",
        "FolderCheck_001.log|10902|SURVEY\\TISEKI\\WORK\\CPROC_A\\TCAX0001.PDF|0",
        "FolderCheck_001.log|10602|SURVEY\\TISEKI\\WORK\\CPROC_A\\TCBA0001.PDF|0",
        "FolderCheck_001.log|10601|SURVEY\\TISEKI\\WORK\\CPROC_A\\TDAC0001.PDF|0",
        "FolderCheck_001.log|10805|SURVEY\\TISEKI\\WORK\\CPROC_A\\TCAK0002.SIM|0",
        "FolderCheck_001.log|10804|SURVEY\\TISEKI\\DATA\\CPROC_A\\TCAT0002.PDF|0",
        "FolderCheck_001.log|10802|SURVEY\\TISEKI\\WORK\\EPROC_A\\TEAC0003.PDF|0",
        "FolderCheck_001.log|10803|SURVEY\\TISEKI\\WORK\\F1PROC_A\\TFAG0002.PDF|0",
        "FolderCheck_001.log|10902|SURVEY\\TISEKI\\WORK\\HPROC_A\\THAA0001.PDF|0",
        "FolderCheck_001.log|10901|SURVEY\\TISEKI\\OTHRS\\CERT.PDF|0",
        "FolderCheck_001.log|10902|SURVEY\\DOC\\DOCA0002.DOCX|0",
        "FolderCheck_001.log|30401|SURVEY\\DOC|0",
        "FolderCheck_001.log|30401|SURVEY\\TISEKI\\WORK\\DPROC_A|0",
        "FolderCheck_001.log|30401|SURVEY\\TISEKI\\WORK\\EPROC_A|0",
        "FolderCheck_001.log|30401|SURVEY\\TISEKI\\WORK\\HPROC_A|0",
        "FolderCheck_001.log|30401|SURVEY\\TISEKI\\OTHRS|0",
        "FolderCheck_001.log|30601|SURVEY\\TISEKI\\WORK\\DPROC_A|0",
        "FolderCheck_001.log|30602|SURVEY\\TISEKI\\DATA\\CPROC_A\\TCAT0002.PDF|0",
        "FolderCheck_001.log|30602|SURVEY\\TISEKI\\OTHRS\\CERT.PDF|0",
        "JobFileCheck_IND_001.log|20103|業務管理ファイル|0",
        "JobFileCheck_IND_001.log|20206|/gyomudata/基礎情報/適用要領基準|1",
        "JobFileCheck_IND_001.log|20308|/gyomudata/業務件名等/業務名称|1",
        "JobFileCheck_IND_001.log|20205|/gyomudata/業務件名等/住所情報/住所コード|1",
        "JobFileCheck_IND_001.log|20309|/gyomudata/業務件名等/履行期間-着手|1",
        "JobFileCheck_IND_001.log|20309|/gyomudata/業務件名等/履行期間-完了|1",
        "JobFileCheck_IND_001.log|20206|/gyomudata/場所情報/測地系|1",
        "JobFileCheck_IND_001.log|20308|/gyomudata/受注者情報/受注者名|1",
        "JobFileCheck_IND_001.log|20305|/gyomudata/受注者情報/受注者コード|1",
        "JobFileCheck_IND_001.log|20201|/gyomudata/業務情報/業務キーワード|0",
        "JobFileCheck_IND_001.log|20202|/gyomudata/業務情報/業務概要|1",
        "JobFileCheck_IND_001.log|20601|/gyomudata/業務情報/業務担当者|1",
        "JobFileCheck_IND_001.log|30701|/gyomudata/基礎情報/メディア番号|1",
        "JobFileCheck_SUV_001.log|20306|/SURVEY/基礎情報/地籍調査成果格納用フォルダ名|1",
        "JobFileCheck_SUV_001.log|20204|/SURVEY/測量情報/工程名|1",
        "JobFileCheck_SUV_001.log|20310|/SURVEY/測量情報/その他データフォルダパス名|1",
        "JobFileCheck_SUV_001.log|20301|/SURVEY/測量情報/測量区域No|2",
        "JobFileCheck_SUV_001.log|20206|/SURVEY/測量情報/精度|2",
        "JobFileCheck_SUV_001.log|20601|/SURVEY/測量情報/備考|1",
        "JobFileCheck_SUV_001.log|20403|/SURVEY/基礎情報|1",
        "JobFileCheck_SUV_001.log|20402|/SURVEY/測量情報|2",
        "JobFileCheck_SUV_001.log|30301|/SURVEY/測量情報/地籍調査記録フォルダパス名|2",
        "JobFileCheck_SUV_001.log|30301|/SURVEY/測量情報/地籍調査記録フォルダパス名|4",
        "JobFileCheck_TSK_001.log|20311|/SURV_DATA/地籍調査成果情報/地籍調査細区分フォルダ名|2",
        "JobFileCheck_TSK_001.log|20202|/SURV_DATA/地籍調査成果情報/成果ファイル情報/地籍調査成果ファイル名副題|13",
        "JobFileCheck_TSK_001.log|30501|/SURV_DATA/地籍調査成果情報/地籍調査細区分フォルダ名|7",
        "JobFileCheck_TSK_001.log|30502|/SURV_DATA/地籍調査成果情報/成果ファイル情報/地籍調査成果ファイル名|10",
        "JobFileCheck_TSK_001.log|30502|/SURV_DATA/地籍調査成果情報/成果ファイル情報/地籍調査成果ファイル名|18",
    };
    EXPECT_EQ(runSample("faulty", 1, "C,E,F1,F2,H"), expected);
}
