// The deliverables list of the headless check: fed medium by medium while the run goes
// (it observes the run and hands every other notice on), printed or put in the JSON
// afterwards.
#pragma once

#include "checks/checkrun.h"
#include "models/doclist.h"

#include <ostream>
#include <string>

namespace qm {

struct AppState;

namespace cli {

class DocListReport : public CheckRunObserver {
public:
    // enabled false: nothing is read or searched, the notices only pass through.
    DocListReport(bool enabled, const AppState& app, int16_t resultType, const ProcessFlags& flags,
                  CheckRunObserver* inner);

    void yield() override;
    void mediumStarted(int n, int count, const std::string& path) override;
    void entriesWalked(int64_t entries) override;
    void mediumFinished(int n, const std::string& path) override;

    // After the run: area, process, document and ○/× per line.
    void printText(std::ostream& out);
    // After the run: `,\n  "docList": {...}`, to close the JSON object with.
    std::string jsonMember();

    const DeliverablesList& list() const { return list_; }

private:
    void finish();
    bool enabled_;
    bool loaded_ = false;
    bool finished_ = false;
    CheckRunObserver* inner_;
    DeliverablesList list_;
};

}  // namespace cli
}  // namespace qm
