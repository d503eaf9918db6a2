#include "checks/imagefacts.h"

#include "foundation/imagemount.h"

#include <cstdio>

namespace qm {

std::string imageSizeText(uint64_t bytes) {
    std::string digits = std::to_string(bytes);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
    char unit[32];
    if (bytes >= 1000000000ull)
        std::snprintf(unit, sizeof unit, "%.2f GB", static_cast<double>(bytes) / 1e9);
    else
        std::snprintf(unit, sizeof unit, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return digits + " バイト（" + unit + "）";
}

std::string volumeSerialText(uint32_t serial) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X-%04X", serial >> 16, serial & 0xFFFF);
    return buf;
}

std::string mediumText(const DiscMedium& m) {
    const std::string name = m.name;
    const char* nominal = name == "CD-R" ? "700 MB" : name == "DVD-R" ? "4.7 GB" : name == "DVD-R DL" ? "8.5 GB"
                        : name == "BD-R" ? "25 GB" : "50 GB";
    return name + "（" + nominal + "）";
}

std::optional<ImageFacts> imageFactsOf(const std::string& mediumPath, int medium) {
    const DiscImage* image = imageHolding(mediumPath);
    if (!image) return std::nullopt;
    ImageFacts out;
    out.medium = medium;
    out.imagePath = imageFileOf(mediumPath);
    out.facts = image->facts();
    const DiscFacts& f = out.facts;
    const DiscMedium* m = f.smallestMedium;
    const std::string name = m ? m->name : "";
    if (!m)
        out.remarks.push_back("イメージが BD-R DL（50 GB）より大きく、1枚のディスクに収まりません。");
    else if (name == "CD-R" && !f.iso9660)
        out.remarks.push_back("CD-R に書き込む成果は ISO 9660（Joliet 可）とされていますが、このイメージには ISO 9660 がありません。");
    else if ((name == "DVD-R" || name == "DVD-R DL") && !f.bridge())
        out.remarks.push_back("DVD-R に書き込む成果は UDF/ISO 9660 ブリッジとされていますが、このイメージはブリッジではありません。");
    if (f.level1BreakCount > 0)
        out.remarks.push_back("Joliet も UDF もないため、ISO 9660 レベル 1 に合わない名前が " +
                              std::to_string(f.level1BreakCount) + " 件あります（8+3文字の英大文字・数字・_、8階層まで）。");
    if (f.largeFileCount > 0)
        out.remarks.push_back("UDF のない ISO 9660 イメージに 4 GiB 以上のファイルが " + std::to_string(f.largeFileCount) +
                              " 件あります（読めない環境があります）。");
    return out;
}

std::vector<ImageFactRow> imageFactRows(const ImageFacts& x) {
    const DiscFacts& f = x.facts;
    std::vector<ImageFactRow> rows;
    rows.push_back({"イメージファイル", x.imagePath});
    rows.push_back({"ファイルシステム", f.fileSystems()});
    rows.push_back({"読み取った名前", f.tree + (f.note.empty() ? "" : "（" + f.note + "）")});
    rows.push_back({"ボリュームラベル", f.label.empty() ? "(なし)" : f.label});
    rows.push_back({"ボリュームシリアル番号", volumeSerialText(f.volumeSerial) + "（ボリューム記述子から算出）"});
    rows.push_back({"ドライブの種類", "CD-ROM として扱います"});
    rows.push_back({"イメージのサイズ", imageSizeText(f.imageSize)});
    rows.push_back({"収まる最小のメディア", f.smallestMedium ? mediumText(*f.smallestMedium) : "なし（BD-R DL にも収まりません）"});
    for (size_t i = 0; i < f.level1Breaks.size(); ++i)
        rows.push_back({i == 0 ? "レベル 1 に合わない名前" : "", f.level1Breaks[i]});
    if (f.level1BreakCount > f.level1Breaks.size())
        rows.push_back({"", "ほか " + std::to_string(f.level1BreakCount - f.level1Breaks.size()) + " 件"});
    for (size_t i = 0; i < f.largeFiles.size(); ++i) rows.push_back({i == 0 ? "4 GiB 以上のファイル" : "", f.largeFiles[i]});
    if (f.largeFileCount > f.largeFiles.size())
        rows.push_back({"", "ほか " + std::to_string(f.largeFileCount - f.largeFiles.size()) + " 件"});
    for (size_t i = 0; i < x.remarks.size(); ++i) rows.push_back({i == 0 ? "注意" : "", x.remarks[i]});
    return rows;
}

}  // namespace qm
