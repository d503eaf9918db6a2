// Growable string list.
#include "foundation/strlist.h"

#include <algorithm>
#include <bit>

#include "foundation/text.h"

namespace qm {

bool CStrList::AddData(const std::string& strData, uint8_t bytUnique) {
    if (bytUnique != 0 && SearchData(strData) >= 0) return false;
    if (count_ == capacity_) {
        capacity_ += 10;
        data_.resize(static_cast<size_t>(capacity_));
    }
    data_[static_cast<size_t>(count_)] = strData;
    ++count_;
    return true;
}

int32_t CStrList::SearchData(const std::string& strData) const {
    for (int32_t i = 0; i < count_; ++i)
        if (data_[static_cast<size_t>(i)] == strData) return i;
    return -1;
}

void CStrList::SortAsc(int Compare) {
    if (count_ < 2) return;
    if (count_ >= 50) {
        // The long path always sorts by character code, whatever Compare says.
        QuickSort(data_, 0, count_ - 1);
        return;
    }
    for (int32_t i = 0; i < count_ - 1; ++i)
        for (int32_t j = i + 1; j < count_; ++j)
            if (compareText(data_[static_cast<size_t>(i)], data_[static_cast<size_t>(j)], Compare) > 0)
                std::swap(data_[static_cast<size_t>(i)], data_[static_cast<size_t>(j)]);
}

namespace {

// Partition around the string at left; answers the pivot's final position.
int64_t partition(std::vector<std::string>& a, int64_t left, int64_t right) {
    const std::string& pivot = a[static_cast<size_t>(left)];
    int64_t i = left + 1, j = right;
    while (i <= j) {
        while (i <= j && !(a[static_cast<size_t>(i)] > pivot)) ++i;
        while (j >= i && !(a[static_cast<size_t>(j)] < pivot)) --j;
        if (i >= j) break;
        std::swap(a[static_cast<size_t>(i)], a[static_cast<size_t>(j)]);
        ++i;
        --j;
    }
    std::swap(a[static_cast<size_t>(j)], a[static_cast<size_t>(left)]);
    return j;
}

// Recurses into the smaller part and loops on the larger, so the stack stays shallow.
// Ordered or uniform input makes every partition lopsided; after a bounded number of
// rounds the rest is finished by the library sort. Strings in code order have one
// sorted arrangement only, so the result is the same either way.
void quickSortRange(std::vector<std::string>& a, int64_t left, int64_t right, int budget) {
    while (left < right) {
        if (budget-- <= 0) {
            std::sort(a.begin() + left, a.begin() + right + 1);
            return;
        }
        const int64_t p = partition(a, left, right);
        if (p - left < right - p) {
            quickSortRange(a, left, p - 1, budget);
            left = p + 1;
        } else {
            quickSortRange(a, p + 1, right, budget);
            right = p - 1;
        }
    }
}

}  // namespace

void CStrList::QuickSort(std::vector<std::string>& data, int64_t LeftPos, int64_t RightPos) {
    if (LeftPos < 0) LeftPos = 0;
    if (RightPos >= static_cast<int64_t>(data.size())) RightPos = static_cast<int64_t>(data.size()) - 1;
    if (LeftPos >= RightPos) return;
    const auto n = static_cast<uint64_t>(RightPos - LeftPos + 1);
    const int budget = 2 * static_cast<int>(std::bit_width(n)) + 8;
    quickSortRange(data, LeftPos, RightPos, budget);
}

void CStrList::ClearData() {
    data_.clear();
    data_.shrink_to_fit();
    capacity_ = 0;
    count_ = 0;
}

std::string CStrList::GetData(int32_t lngIndex) const {
    if (lngIndex < 0 || lngIndex >= count_) return {};
    return data_[static_cast<size_t>(lngIndex)];
}

}  // namespace qm
