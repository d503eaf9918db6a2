// What only a disc image can show about a medium, for the image section of the summary,
// the JSON, the report and the result view: the file systems it holds, the tree read, its
// volume label and serial number, its size and the smallest writable medium that holds it,
// names that plain ISO 9660 level 1 does not hold (when it has neither Joliet nor UDF) and
// files of 4 GiB or more (in an ISO 9660 image without UDF). These are notes on the image,
// not findings: the logs are those of the same tree as a folder.
#pragma once

#include "foundation/discimage.h"

#include <optional>
#include <string>
#include <vector>

namespace qm {

struct ImageFacts {
    int medium = 0;          // the medium's number (1-based)
    std::string imagePath;   // the image file
    DiscFacts facts;
    // Notes against the electronic-delivery practice: ISO 9660 on CD-R, the UDF/ISO 9660
    // bridge on DVD-R, names and sizes plain ISO 9660 cannot carry.
    std::vector<std::string> remarks;
};

// The facts of a medium whose location lies in an open image; nullopt for a folder.
std::optional<ImageFacts> imageFactsOf(const std::string& mediumPath, int medium);

// The facts as rows of a label and a text, in the order shown.
struct ImageFactRow {
    std::string label;
    std::string text;
};
std::vector<ImageFactRow> imageFactRows(const ImageFacts& f);

// "1,234,567 バイト（1.2 MB）".
std::string imageSizeText(uint64_t bytes);
// "CD-R（700 MB）".
std::string mediumText(const DiscMedium& m);
// "1A2B-3C4D", as volume serial numbers are written.
std::string volumeSerialText(uint32_t serial);

}  // namespace qm
