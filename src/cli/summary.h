// What quillmark-check prints after a run: the summary as text, or as one JSON document.
#pragma once

#include "checks/checkrun.h"
#include "checks/resultlog.h"

#include <ostream>
#include <string>
#include <vector>

namespace qmcli {

struct Report {
    const qm::RunSummary* summary = nullptr;
    const std::vector<qm::MediumRecord>* media = nullptr;
    std::string logPath;
    std::string processes;    // codes of the processes checked, "," separated
    std::string processNote;  // how they were chosen when not as usual, else empty
    // Why the findings are no verdict on the delivery (missing tables, logs not
    // written); empty when they are one.
    std::vector<std::string> problems;
    // Further members of the JSON object (",\n  \"name\": ..."), such as the deliverables list.
    std::string extraJson;
};

// The findings of a run in all.
int findingCount(const qm::RunSummary& s);

void printText(std::ostream& out, const Report& r);
std::string jsonReport(const Report& r);

// A JSON string literal of text, valid UTF-8 whatever text holds: each byte that is not
// part of a well-formed UTF-8 sequence becomes U+FFFD.
std::string jsonString(const std::string& text);

}  // namespace qmcli
