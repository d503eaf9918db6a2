// Relation check: compares what the management files of a delivery say about its media,
// folders and files with what the media actually hold.
//
//  - the media number and media count of INDEX_D.XML against the medium's position and
//    the number of media of the run (findings to the medium's INDEX_D.XML log);
//  - every result folder on a medium must be named in its SURVEY\SURVEY.XML, every
//    process sub-folder and result file in its SURVEY\TISEKI\SURV_TSK.XML (findings to
//    the medium's folder log);
//  - after the last medium, every folder and file named by the first medium's SURVEY.XML
//    and SURV_TSK.XML must have been found on some medium (findings to the first
//    medium's SURVEY.XML and SURV_TSK.XML logs).
//
// Medium-relative paths are compared upper-cased (ASCII letters) with "\" separators.
// Look-ups in the documents and in the described-item lists go through hash indexes
// built once per document or list, so a medium is checked in time linear in the number
// of its folders, files and described items. Nothing is written to the medium.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qm {

class CErrorLog;
class XmlDocument;

class CRelationCheck {
public:
    // A folder named by a management file.
    struct FolderItem {
        std::string value;        // the element's text as written
        std::string folderPath;   // medium-relative, upper case, "\" separators
        std::string elementPath;  // element path for the log
        int32_t occurrence = 0;   // which element of that name in its file (from 1)
        bool found = false;
    };
    // A result file named by SURV_TSK.XML.
    struct FileItem {
        int32_t occurrence = 0;
        std::string fileName;     // upper case
        std::string fullPath;     // folder path + file name, upper case
        bool found = false;
    };

    CRelationCheck();  // runs InitData
    // Not copied: its file index refers into its own list. Moves keep both together.
    CRelationCheck(const CRelationCheck&) = delete;
    CRelationCheck& operator=(const CRelationCheck&) = delete;
    CRelationCheck(CRelationCheck&&) = default;
    CRelationCheck& operator=(CRelationCheck&&) = default;

    void setResultType(int16_t intResultType);
    int16_t resultType() const { return resultType_; }

    // Top folder of the medium whose files getDocFilenameFromJobFile reads: their DTDs are
    // then read only from inside it. When not set (empty), the top is taken from the file
    // paths given to getDocFilenameFromJobFile when they lie in the usual SURVEY\ and
    // SURVEY\TISEKI\ folders, else each file's own folder is the limit. The per-medium
    // checks always use their strCheckPath.
    void setAllowedRoot(const std::string& strTopFolder) { mediumTop_ = strTopFolder; }

    // Empties the four described-item lists and sets the result type to 1.
    void InitData();

    // Builds the described-item lists from the first medium's management files (full
    // paths). strIndexFile is not read. True also when a file is missing or does not
    // load; false after an unexpected failure (shown in a box), keeping what was built.
    bool getDocFilenameFromJobFile(const std::string& strIndexFile, const std::string& strSurveyFile,
                                   const std::string& strSurvTskFile);

    // Per-medium checks. -1: no file named (a warning box said so); 1: the document does
    // not load or something was logged; 0: nothing found.
    int16_t checkRelation_Index(const std::string& strXMLFile, const std::string& strCheckPath,
                                const std::string& strLogFile1, const std::string& strLogFile2,
                                int16_t intMediaNo, int16_t intMediaNum);
    int16_t checkRelation_Survey(const std::string& strXMLFile, const std::string& strCheckPath,
                                 const std::string& strLogFile1, const std::string& strLogFile2);
    int16_t checkRelation_Tiseki(const std::string& strXMLFile, const std::string& strCheckPath,
                                 const std::string& strLogFile1, const std::string& strLogFile2);

    // What a medium holds, marked in the lists when its own SURVEY.XML or SURV_TSK.XML is
    // missing (a medium whose file does not load is marked by checkRelation_Survey and
    // checkRelation_Tiseki themselves). Only folders that cannot be listed are recorded
    // (10001, to strLogFile2, the medium's folder log). 1 when something was logged.
    int16_t markHoldings_Survey(const std::string& strCheckPath, const std::string& strLogFile2);
    int16_t markHoldings_Tiseki(const std::string& strCheckPath, const std::string& strLogFile2);

    // The places of a medium that its folder check could not read (medium-relative,
    // upper-cased, no trailing "\"): they are not recorded again for that medium, and
    // the totals do not report what lies there as missing, since it is unknown.
    void setUnreadablePlaces(const std::string& strCheckPath, const std::unordered_set<std::string>& places);

    // Items of the lists found on no medium, leaving out those below a place that some
    // medium could not read. 1 when something was logged, else 0.
    int16_t checkXmlToVol_Total(const std::string& strLogIndex, const std::string& strLogSurvey,
                                const std::string& strLogSurvTsk);

    // Media number and count of a loaded INDEX_D.XML against the run. 1 when logged.
    int16_t checkMediaNo(const XmlDocument& xmlDomDoc, int16_t intMediaNo, int16_t intMediaNum,
                         CErrorLog& clsErrorLog);

    // The described-item lists (read-only views).
    const std::vector<FolderItem>& surveyFolders() const { return surveyFolders_; }
    const std::vector<FolderItem>& classFolders() const { return classFolders_; }
    const std::vector<FolderItem>& subFolders() const { return subFolders_; }
    const std::vector<FileItem>& resultFiles() const { return resultFiles_; }

private:
    using PathIndex = std::unordered_map<std::string, std::vector<size_t>>;

    // What one SURV_TSK.XML describes: the folder triples, each with its file names
    // (sorted).
    struct TisekiIndex {
        std::unordered_map<std::string, std::vector<std::string>> folders;
    };

    enum class RelKind { Index, Survey, Tiseki };
    int16_t runRelation(RelKind kind, const std::string& strXMLFile, const std::string& strCheckPath,
                        const std::string& strLogFile, int16_t intMediaNo, int16_t intMediaNum);
    int16_t markHoldings(RelKind kind, const std::string& strCheckPath, const std::string& strLogFile);

    // Without a document (doc nullptr) only the marking is done, and unreadable listings
    // recorded.
    int16_t checkSurveyFolder(const std::string& checkPath, const XmlDocument* doc, CErrorLog& log);
    int16_t checkTisekiFolder(const std::string& checkPath, const XmlDocument* doc, CErrorLog& log);

    // Sub-folders and files of medium folders; a folder that cannot be listed is recorded
    // as unreadable (once per medium) and answers nothing.
    struct SubFolder {
        std::string name;    // as listed
        std::string native;  // native path
    };
    std::vector<SubFolder> subFoldersOf(const std::string& top, const std::string& rel, CErrorLog& log,
                                        int16_t& result);
    std::vector<std::string> filesOf(const std::string& top, const std::string& nativeFolder, const std::string& rel,
                                     CErrorLog& log, int16_t& result);
    void recordUnreadable(CErrorLog& log, const std::string& top, const std::string& place, const std::string& reason,
                          int16_t& result);
    bool unknownPlace(const std::string& path) const;  // at or below a place not read

    std::string word() const;  // the result type word
    void clearLists();         // the four lists and their indexes

    void addFolder(std::vector<FolderItem>& list, PathIndex& index, FolderItem item);
    static void markAll(std::vector<FolderItem>& list, const PathIndex& index, const std::string& path);
    static void markFirst(std::vector<FolderItem>& list, const PathIndex& index, const std::string& path);

    TisekiIndex indexTiseki(const XmlDocument& doc) const;

    int16_t resultType_ = 1;
    std::string mediumTop_;

    std::string unreadableMedium_;                  // the medium unreadableHere_ belongs to
    std::unordered_set<std::string> unreadableHere_;  // recorded for that medium
    std::unordered_set<std::string> unreadableAny_;   // of every medium so far

    std::vector<FolderItem> surveyFolders_;
    std::vector<FolderItem> classFolders_;
    std::vector<FolderItem> subFolders_;
    std::vector<FileItem> resultFiles_;
    PathIndex surveyIndex_;
    PathIndex classIndex_;
    PathIndex subIndex_;
    // Full path -> first entry of resultFiles_: an open-addressed table of entry numbers
    // (0 an empty slot, else the index + 1), built once that list is complete.
    std::vector<uint32_t> fileIndex_;
    void indexResultFiles();
    size_t findResultFile(std::string_view fullPath) const;  // resultFiles_.size() when none
};

}  // namespace qm
