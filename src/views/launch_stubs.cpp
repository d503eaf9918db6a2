// Entry points whose windows are not built yet. Each stub goes when its window arrives.
#include "views/launch.h"

#include "foundation/messages.h"

namespace qm::desktop {

namespace {
void notYet(const char* what) {
    showMessage(what, "この機能はまだ用意されていません。", MsgIcon::Information);
}
}  // namespace

void showCheckResult(QWidget*, AppState&, int16_t, const std::vector<MediumRecord>&, DeliverablesList*) {
    notYet("チェック結果");
}
void showPrintPreview(QWidget*, const print::PrintDocument&) { notYet("印刷"); }
void showHelp(QWidget*, int) { notYet("ヘルプ"); }
void showFindingHelp(QWidget*, int32_t) { notYet("ヘルプ"); }

}  // namespace qm::desktop
