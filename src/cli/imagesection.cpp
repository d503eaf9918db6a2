#include "cli/imagesection.h"

#include "checks/imagefacts.h"
#include "cli/summary.h"

#include <cstdio>

namespace qmcli {

void printImageSection(std::ostream& out, const std::vector<qm::MediumRecord>& media) {
    bool headed = false;
    for (size_t i = 0; i < media.size(); ++i) {
        const auto facts = qm::imageFactsOf(media[i].path, static_cast<int>(i + 1));
        if (!facts) continue;
        if (!headed) out << "\nディスクイメージ\n";
        headed = true;
        out << "  成果" << (i + 1) << "枚目\n";
        for (const auto& row : qm::imageFactRows(*facts))
            out << "    " << (row.label.empty() ? std::string() : row.label + ": ") << row.text << "\n";
    }
}

namespace {

std::string stringList(const std::vector<std::string>& items) {
    std::string o = "[";
    for (size_t i = 0; i < items.size(); ++i) o += (i ? ", " : "") + jsonString(items[i]);
    return o + "]";
}

const char* flag(bool b) { return b ? "true" : "false"; }

}  // namespace

std::string imageJsonMember(const std::string& mediumPath, int medium) {
    const auto x = qm::imageFactsOf(mediumPath, medium);
    if (!x) return {};
    const qm::DiscFacts& f = x->facts;
    char rev[16] = "";
    if (f.udfRevision) std::snprintf(rev, sizeof rev, "%x.%02x", f.udfRevision >> 8, f.udfRevision & 0xFF);
    std::string o = ", \"image\": {";
    o += "\"file\": " + jsonString(x->imagePath);
    o += ", \"fileSystems\": " + jsonString(f.fileSystems());
    o += ", \"iso9660\": " + std::string(flag(f.iso9660)) + ", \"isoLevel\": " + std::to_string(f.isoLevel);
    o += ", \"joliet\": " + std::string(flag(f.joliet)) + ", \"rockRidge\": " + flag(f.rockRidge);
    o += ", \"udf\": " + std::string(flag(f.udf)) + ", \"udfRevision\": " + jsonString(rev);
    o += ", \"bridge\": " + std::string(flag(f.bridge())) + ", \"tree\": " + jsonString(f.tree);
    if (!f.note.empty()) o += ", \"treeNote\": " + jsonString(f.note);
    o += ", \"label\": " + jsonString(f.label);
    o += ", \"volumeSerial\": " + std::to_string(f.volumeSerial) + ", \"volumeSerialSource\": \"volumeDescriptor\"";
    o += ", \"size\": " + std::to_string(f.imageSize);
    o += ", \"smallestMedium\": " + (f.smallestMedium ? jsonString(f.smallestMedium->name) : std::string("null"));
    o += ", \"level1Breaks\": " + stringList(f.level1Breaks) + ", \"level1BreakCount\": " + std::to_string(f.level1BreakCount);
    o += ", \"largeFiles\": " + stringList(f.largeFiles) + ", \"largeFileCount\": " + std::to_string(f.largeFileCount);
    o += ", \"remarks\": " + stringList(x->remarks);
    return o + "}";
}

}  // namespace qmcli
