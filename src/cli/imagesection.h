// The image section of quillmark-check's summary: what only a disc image can show, for
// each medium given as an image (checks/imagefacts.h).
#pragma once

#include "checks/checkrun.h"

#include <ostream>
#include <string>
#include <vector>

namespace qmcli {

// The section as text after the summary; nothing when no medium is an image.
void printImageSection(std::ostream& out, const std::vector<qm::MediumRecord>& media);

// The member ", \"image\": {...}" of a medium's JSON object; empty for a folder.
std::string imageJsonMember(const std::string& mediumPath, int medium);

}  // namespace qmcli
