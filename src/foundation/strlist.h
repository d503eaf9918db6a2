// A growable list of strings gathered by the checkers and walked by index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

class CStrList {
public:
    CStrList() = default;
    ~CStrList() { ClearData(); }

    // Adds strData at the end; with bytUnique != 0 an equal string already held refuses it.
    bool AddData(const std::string& strData, uint8_t bytUnique = 0);
    int32_t SearchData(const std::string& strData) const;  // first index, or -1
    void SortAsc(int Compare);                               // 0 code order, 1 ignoring case
    static void QuickSort(std::vector<std::string>& data, int64_t LeftPos, int64_t RightPos);
    void ClearData();
    std::string GetData(int32_t lngIndex) const;  // "" outside 0..count-1
    int32_t GetListCnt() const { return count_; }
    int32_t capacity() const { return capacity_; }

private:
    std::vector<std::string> data_;
    int32_t capacity_ = 0;
    int32_t count_ = 0;
};

}  // namespace qm
