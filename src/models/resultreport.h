// The documents of the report that the headless check writes: the check result of every
// medium and check type with findings, in the order the result view lists them (medium 1's
// checks, medium 2's, ..., then the whole delivery), each as printing that selection gives.
#pragma once

#include "checks/checkrun.h"
#include "models/printdoc.h"
#include "checks/resultlog.h"

#include <string>
#include <vector>

namespace qm {

// media: the run's media (their stored paths name the checked files); deliveryFolder and
// date fill the one page that a run without findings gives.
std::vector<print::PrintDocument> reportDocuments(const RunSummary& summary, const std::vector<MediumRecord>& media,
                                                  const std::string& deliveryFolder, const std::string& date);

}  // namespace qm
