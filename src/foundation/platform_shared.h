// What the POSIX and the Windows platform layers share: the order of a listing, joining a
// name to its folder, and the look-up by kind and pattern.
#pragma once

#include "foundation/platform.h"

#include <string>
#include <vector>

namespace qm::platform_shared {

// Sorts ascending by the upper-cased name, ties by the name as it is, then by its bytes.
void sortEntries(std::vector<DirEntry>& entries);

// folder and name with one separator between them; the name alone for no folder.
std::string joinNative(const std::string& folder, const std::string& name);

bool kindFits(const DirEntry& e, EntryKind kind);

// The entries of a listing whose names match the pattern (ASCII case ignored), of the
// kind; File leaves out hidden entries. The listing's entries are moved out.
std::vector<DirEntry> entriesMatching(Listing& listing, const std::string& pattern, EntryKind kind);

}  // namespace qm::platform_shared
