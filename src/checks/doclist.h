// The deliverables list of a run: which documents of the deliverables table were found,
// per survey area and process, over all media of the run.
#pragma once

#include "checks/inspection.h"

#include <cstdint>
#include <string>

namespace qm {

class DeliverablesList {
public:
    // Reads the deliverables table (DocList_C.txt or DocList_S.txt) for the result type and
    // keeps the processes present. False when the table was not read.
    bool setDocInfo(int16_t resultType, const std::string& tableFile, const ProcessFlags& flags);
    // Collects the documents of one medium (top folder ending in a separator), after that
    // medium's checks. False when the medium has no SURVEY/TISEKI.
    bool SearchFiles(const std::string& topFolder);
};

}  // namespace qm
