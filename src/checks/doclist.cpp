#include "checks/doclist.h"

namespace qm {

bool DeliverablesList::setDocInfo(int16_t, const std::string&, const ProcessFlags&) { return false; }
bool DeliverablesList::SearchFiles(const std::string&) { return false; }

}  // namespace qm
