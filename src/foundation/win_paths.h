// Windows only: the conversions between the program's UTF-8 paths and the system's
// wide-character ones, shared by the Windows platform layer and its POSIX calls.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

std::wstring widen(const std::string& utf8);
std::string narrow(const wchar_t* w, size_t len);
std::string narrow(const std::wstring& w);
// The absolute "\\?\" (or "\\?\UNC\") form of a path, "/" taken as "\"; empty for "".
std::wstring systemPath(const std::string& utf8);
// A system path back to UTF-8 without the "\\?\" prefix.
std::string fromSystemPath(std::wstring w);
// The errno value closest to a Win32 error code.
int errnoOfWin32(unsigned long code);
// Volume serial number and file index of the entry at path.
bool identityOfPath(const std::string& path, uint64_t& volume, uint64_t& index, bool followLinks);

}  // namespace qm
