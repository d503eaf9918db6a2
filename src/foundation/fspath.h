// A std::filesystem::path of a UTF-8 path: the bytes as they are on POSIX systems, the
// UTF-16 of the text on Windows. There a path made from a narrow string would take each
// byte for a character of its own, while path::string() answers UTF-8: every path the
// program makes of its own strings is made here, so that string() gives them back.
#pragma once

#include <filesystem>
#include <string>

namespace qm {

inline std::filesystem::path fsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace qm
