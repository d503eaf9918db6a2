// Fuzzes the wildcard matcher and the character rules: input is "text\0pattern".
#include "foundation/text.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view all(reinterpret_cast<const char*>(data), size);
    size_t cut = all.find('\0');
    std::string_view text = all.substr(0, cut);
    std::string_view pattern = cut == std::string_view::npos ? std::string_view("*") : all.substr(cut + 1);
    qm::LikeMatch(text, pattern);
    qm::LikeMatchNoCase(text, pattern);
    qm::IsFileName84(text);
    qm::IsFolderName8(text);
    qm::IsUsableMultiLineText(text);
    qm::IsDateYMD(text, "-");
    qm::toNumber(text);
    qm::GetByteLength(text);
    qm::fromCp932(qm::toCp932(text));
    qm::displayName(text);
    return 0;
}
