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
    // A pattern read once must answer as the plain matcher does.
    if (qm::LikePattern(pattern).matches(text) != qm::LikeMatch(text, pattern)) __builtin_trap();
    qm::LikeMatchNoCase(text, pattern);
    // The CP932 decoder on the same bytes, into a small output buffer.
    unsigned char out[16];
    size_t used = 0, written = 0;
    qm::decodeCp932(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out, sizeof out, used, written);
    if (used > text.size() || written > sizeof out) __builtin_trap();
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
