#include "checks/checkpath.h"
#include "foundation/fspath.h"

#include "foundation/imagemount.h"
#include "foundation/messages.h"
#include "foundation/platform.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>
#include <filesystem>

namespace qm {

namespace {

// The absolute form of a location; as it was when that cannot be made.
std::string absoluteLocation(const std::string& location) {
    std::error_code ec;
    const std::filesystem::path abs = std::filesystem::absolute(fsPath(location), ec);
    if (ec) return location;
    std::string out = abs.lexically_normal().string();
    return out.empty() ? location : out;
}

}  // namespace

bool CheckPath(std::string& location) {
    try {
        location = absoluteLocation(location);
        // A disc image is opened as a medium; its top folder is the image's path with a
        // separator, and it is judged below like any folder.
        std::string bare = location;
        while (bare.size() > 1 && bare.back() == nativeSeparator()) bare.pop_back();
        if (looksLikeImageFile(bare)) {  // opened again when it has been made anew
            std::string top, problem;
            if (!mountImage(bare, top, problem)) {
                showMessage(kLocationCaption, problem + "\n\n" + bare);
                return false;
            }
            location = top;
        }
        location = withTrailingSeparator(location);

        VolumeInfo volume;
        if (!GetVolumeInfo(location, volume)) {
            showMessage(kLocationCaption, "ドライブの準備ができていないか、ドライブの指定が不正です。");
            return false;
        }
        if (!isFolder(location)) {
            showMessage(kLocationCaption, "指定した場所は、見つかりませんでした。");
            return false;
        }
        if (!resolveRel(location, "INDEX_D.XML", EntryKind::File)) {
            const MsgAnswer a = showMessage(kLocationCaption,
                                            "指定したフォルダ内に、業務管理ファイル(INDEX_D.XML)が\n"
                                            "見つかりません。\n\nよろしいですか？",
                                            MsgIcon::Exclamation, MsgButtons::YesNo);
            if (a != MsgAnswer::Yes) return false;
        }
        if (!resolveRel(location, "SURVEY", EntryKind::Folder)) {
            showMessage(kLocationCaption,
                        "指定したフォルダ内に、測量フォルダ(SURVEY)が見つかりません。\n\n"
                        "成果の最上位フォルダ(INDEX_D.XMLが格納されている場所）を指定してください。");
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        showFailure("CheckPath", 0, e.what());
        return false;
    }
}

}  // namespace qm
