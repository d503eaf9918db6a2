// Fuzzes the management file checks on a medium in memory: a copy of the cadastral
// sample (with its DTDs) in a tmpfs folder, whose INDEX_D.XML, SURVEY.XML or
// SURV_TSK.XML (chosen by the root element the input names) is replaced by the input.
// The element check runs with the shipped element table, then the relation checks of
// INDEX_D.XML and of the replaced file; the logs go to the same scratch folder and are
// removed after every input.
#include "checks/jobfilecheck.h"
#include "checks/relationcheck.h"
#include "foundation/messages.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

class QuietSink : public qm::MessageSink {
public:
    qm::MsgAnswer show(const qm::Message&) override { return qm::MsgAnswer::Ok; }
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Medium {
    fs::path scratch, top, logs, setting;
    std::string index, survey, tsk;  // the sample's own files, restored before every input

    Medium() {
        static QuietSink sink;
        qm::setMessageSink(&sink);
        std::error_code ec;
        const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        scratch = base / ("qm_fuzz_jobfile_" + std::to_string(::getpid()));
        top = scratch / "disc";
        logs = scratch / "logs";
        setting = fs::path(QM_SOURCE_DIR) / "Setting";
        fs::remove_all(scratch, ec);
        fs::create_directories(logs);
        fs::copy(fs::path(QM_SOURCE_DIR) / "samples" / "cadastral", top, fs::copy_options::recursive);
        index = slurp(top / "INDEX_D.XML");
        survey = slurp(top / "SURVEY" / "SURVEY.XML");
        tsk = slurp(top / "SURVEY" / "TISEKI" / "SURV_TSK.XML");
    }
    static Medium& instance() {
        static Medium m;
        // Registered after m is made, so it runs before m is destroyed.
        static const bool cleaned = std::atexit([] {
            std::error_code e;
            fs::remove_all(instance().scratch, e);
        }) == 0;
        (void)cleaned;
        return m;
    }
};

void put(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Medium& m = Medium::instance();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const fs::path indexFile = m.top / "INDEX_D.XML";
    const fs::path surveyFile = m.top / "SURVEY" / "SURVEY.XML";
    const fs::path tskFile = m.top / "SURVEY" / "TISEKI" / "SURV_TSK.XML";
    put(indexFile, m.index);
    put(surveyFile, m.survey);
    put(tskFile, m.tsk);

    fs::path target = indexFile;
    std::string table = "INDEX_D_CHK.txt";
    if (input.find("<SURV_DATA") != std::string::npos) {
        target = tskFile;
        table = "SURV_TSK_CHK_C.txt";
    } else if (input.find("<SURVEY") != std::string::npos) {
        target = surveyFile;
        table = "SURVEY_CHK_C.txt";
    }
    put(target, input);

    const std::string top = m.top.string() + "/";
    const std::string log = (m.logs / "JobFileCheck.log").string();
    const std::string folderLog = (m.logs / "FolderCheck.log").string();

    qm::CJobFileCheck check;
    check.setResultType(1);
    check.setAllowedRoot(top);
    const int16_t r = check.checkJobFile(target.string(), (m.setting / table).string(), log);
    if (r < -1 || r > 1) __builtin_trap();
    std::vector<std::string> paths, infos;
    const int32_t n = check.getDocFileInfo(tskFile.string(), paths, infos);
    if (n >= 0 && (paths.size() != static_cast<size_t>(n) || infos.size() != paths.size())) __builtin_trap();

    qm::CRelationCheck relation;
    relation.setResultType(1);
    relation.setAllowedRoot(top);
    relation.getDocFilenameFromJobFile(indexFile.string(), surveyFile.string(), tskFile.string());
    relation.checkRelation_Index(indexFile.string(), top, log, folderLog, 1, 1);
    if (target == surveyFile) relation.checkRelation_Survey(surveyFile.string(), top, log, folderLog);
    if (target == tskFile) relation.checkRelation_Tiseki(tskFile.string(), top, log, folderLog);
    relation.checkXmlToVol_Total(log, log, log);

    std::error_code ec;
    fs::remove(log, ec);
    fs::remove(folderLog, ec);
    return 0;
}
