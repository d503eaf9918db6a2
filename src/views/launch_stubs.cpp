// Entry points whose windows are not built yet. Each stub goes when its window arrives.
#include "views/launch.h"

#include "foundation/messages.h"

namespace qm::desktop {

namespace {
void notYet(const char* what) {
    showMessage(what, "この機能はまだ用意されていません。", MsgIcon::Information);
}
}  // namespace

bool showFolderView(QWidget*, AppState&, int16_t, const std::string&, const std::string&) {
    notYet("フォルダ構成");
    return false;
}
void showXmlView(QWidget*, AppState&, int16_t, int, const std::string&, const std::string&) {
    notYet("管理ファイル参照");
}
void showDeliverablesList(QWidget*, AppState&, DeliverablesList&) { notYet("成果一覧"); }

}  // namespace qm::desktop
