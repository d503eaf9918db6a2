// Inspection of a delivery before a check: how many media it spans, which guideline it
// follows and which survey processes it holds.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// The 17 process flags, always in this order.
struct ProcessFlags {
    static constexpr int kCount = 17;
    static constexpr std::array<std::string_view, kCount> kCodes = {
        "C", "D", "E", "F1", "F2", "G", "PA", "PB", "PC", "PD", "PE", "PF", "FR", "H", "L", "R", "F"};
    std::array<uint8_t, kCount> flag{};

    // Index of a process code in the order above, or -1.
    static int indexOf(std::string_view code);
    bool any() const;
    // Codes of the set flags joined by ",".
    std::string codes() const;
};

// Media count and medium number from INDEX_D.XML. False when the file is missing or does
// not load; the outputs then keep their values.
bool JudgeMediaNum(const std::string& strIndexFile, int16_t& intMediaNum, int16_t& intMediaNo);
// 1 cadastral, 2 preliminary, 0 when SURVEY.XML cannot tell.
int16_t JudgeResultType(const std::string& strSurveyFile);
// Processes present, from the names under SURVEY\TISEKI\DATA and from SURV_TSK.XML.
// strFolder is the top folder of the delivery. False when SURV_TSK.XML does not load
// (flags then unchanged).
bool JudgeProcess(int16_t intResultType, const std::string& strFolder, ProcessFlags& flags);
// Only the part of JudgeProcess that the folder names under SURVEY\TISEKI\DATA tell
// (what can still be judged when SURV_TSK.XML does not load). Flags are replaced.
void JudgeProcessFromFolders(const std::string& strFolder, ProcessFlags& flags);

// A management file of a medium: the existing file found ignoring letter case, or the
// path as it would be spelled when it does not exist.
std::string managementFile(const std::string& top, const std::string& relBackslash);

}  // namespace qm
