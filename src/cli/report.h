// The PDF report of a headless check (--report FILE.pdf).
#pragma once

#include "checks/checkrun.h"
#include "checks/resultlog.h"

#include <string>
#include <vector>

namespace qm {

// Writes the report of a finished run to pdfPath; needs no display. Answers false with the
// reason in error when the file could not be written.
bool writeReport(const std::string& pdfPath, const RunSummary& summary, const std::vector<MediumRecord>& media,
                 const std::string& deliveryFolder, std::string& error);

}  // namespace qm
