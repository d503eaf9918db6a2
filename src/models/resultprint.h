// The check-result document that printing one selection of the result view gives: the
// findings of one check type of one medium (or of the whole delivery), with its title and
// sub-title. The result view's print command and the headless program's report share it.
#pragma once

#include "models/printdoc.h"
#include "checks/resultlog.h"

#include <cstddef>
#include <string>

namespace qm {

// The last folder of a stored medium path with its trailing separator ("disk1/" of
// "/data/disk1/"); the whole path when it has no earlier separator (a root such as "/").
std::string checkPathTail(const std::string& storedPath);

// medium.number 0 is the whole delivery; typeIndex indexes kCheckTypes; storedPath is the
// folder that held the medium during the run (unused for the whole delivery).
print::PrintDocument checkResultDocument(const MediumResult& medium, size_t typeIndex,
                                         const std::string& storedPath);

}  // namespace qm
