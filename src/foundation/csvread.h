// Reader of comma-separated CP932 text (setting tables and check logs), one record at a time.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {

// Raised by ReadFile for a line with more than 128 items or a read past the end.
class CsvError : public std::runtime_error {
public:
    CsvError(int number, const std::string& what) : std::runtime_error(what), number_(number) {}
    int number() const { return number_; }
private:
    int number_;
};

// Splits one record (already decoded to UTF-8) into items by the table rules:
// an item may be enclosed in double quotation marks to hold commas.
std::vector<std::string> splitCsvLine(const std::string& line);

class CCsvRead {
public:
    static constexpr int kMaxItems = 128;

    CCsvRead() = default;
    ~CCsvRead() { CloseFile(); }
    CCsvRead(const CCsvRead&) = delete;
    CCsvRead& operator=(const CCsvRead&) = delete;

    bool IsOpened() const { return opened_; }
    int16_t ItemNum() const { return itemNum_; }
    int32_t RecordNum() const { return recordNum_; }
    bool IsEof() const { return eof_; }

    void CloseFile();
    std::string ItemValue(int Index) const;
    bool OpenFile(const std::string& strFileName);  // false when no such plain file
    bool ReadFile(bool blnTrim);                    // throws CsvError (see above)

private:
    std::vector<char> buf_;  // whole file (CP932), read at open
    size_t pos_ = 0;
    bool opened_ = false;
    bool eof_ = true;
    int16_t itemNum_ = 0;
    int32_t recordNum_ = 0;
    std::array<std::string, kMaxItems> items_{};
};

}  // namespace qm
