// The parts of the disc image facts that need no image reader: the media an image may be
// burned to and the naming of file systems. Built with or without the reader.
#include "foundation/discimage.h"

#include <cstdio>

namespace qm {

namespace {
constexpr uint64_t kBlock = 2048;
}

const std::vector<DiscMedium>& discMedia() {
    static const std::vector<DiscMedium> media = {
        {"CD-R", 360000ull * kBlock},         {"DVD-R", 2298496ull * kBlock},
        {"DVD-R DL", 4171712ull * kBlock},    {"BD-R", 12219392ull * kBlock},
        {"BD-R DL", 24438784ull * kBlock},
    };
    return media;
}

std::string DiscFacts::fileSystems() const {
    std::vector<std::string> parts;
    if (udf) {
        char rev[16];
        std::snprintf(rev, sizeof rev, "%x.%02x", udfRevision >> 8, udfRevision & 0xFF);
        parts.push_back(std::string("UDF ") + (udfRevision ? rev : ""));
        if (!udfRevision) parts.back().pop_back();
    }
    if (iso9660) parts.push_back(isoLevel ? "ISO 9660 レベル " + std::to_string(isoLevel) : "ISO 9660");
    if (joliet) parts.push_back("Joliet");
    if (rockRidge) parts.push_back("Rock Ridge");
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : " / ") + p;
    if (bridge()) out += "（UDF/ISO 9660 ブリッジ）";
    return out;
}

#ifndef QM_HAVE_DISCIMAGE
// Built without the reader, no image is ever opened (mountImage refuses every one), so
// the members that images as media name are never called.
struct DiscImage::Source {};
DiscImage::DiscImage() = default;
DiscImage::~DiscImage() = default;
bool DiscImage::looksLikeImage(const std::string&) { return false; }
const DiscEntry* DiscImage::find(std::string_view) const { return nullptr; }
bool DiscImage::isFolder(std::string_view) const { return false; }
const std::vector<DiscEntry>* DiscImage::entries(std::string_view) const { return nullptr; }
Listing DiscImage::list(std::string_view) const { return {}; }
bool DiscImage::readFile(std::string_view, std::string& bytes, std::string& reason, uint64_t) const {
    bytes.clear();
    reason = "ディスクイメージはこの版では扱えません。";
    return false;
}
#endif

}  // namespace qm
