// Reader of comma-separated CP932 text.
#include "foundation/csvread.h"

#include <sys/stat.h>

#include <cstdio>

#include "foundation/text.h"

namespace qm {

std::vector<std::string> splitCsvLine(const std::string& line) {
    std::vector<std::string> items;
    std::string_view rest(line);
    for (;;) {
        if (!rest.empty() && rest.front() == '"') {
            const size_t close = rest.find('"', 1);
            if (close == std::string_view::npos) break;  // the rest, mark included, is the last item
            items.emplace_back(rest.substr(1, close - 1));
            rest = rest.substr(close + 1);
            const size_t comma = rest.find(',');
            if (comma == std::string_view::npos) return items;  // nothing more follows
            rest = rest.substr(comma + 1);                      // text after the mark is dropped
            continue;
        }
        const size_t comma = rest.find(',');
        if (comma == std::string_view::npos) break;
        items.emplace_back(rest.substr(0, comma));
        rest = rest.substr(comma + 1);
    }
    items.emplace_back(rest);
    return items;
}

void CCsvRead::CloseFile() {
    buf_.clear();
    buf_.shrink_to_fit();
    pos_ = 0;
    opened_ = false;
    eof_ = true;
}

std::string CCsvRead::ItemValue(int Index) const {
    if (Index < 0 || Index >= kMaxItems) return {};
    return items_[static_cast<size_t>(Index)];
}

bool CCsvRead::OpenFile(const std::string& strFileName) {
    // A plain look-up of a visible file: folders and "." names are not found.
#ifdef _WIN32
    const size_t slash = strFileName.find_last_of("\\/");
#else
    const size_t slash = strFileName.find_last_of('/');
#endif
    const std::string base = slash == std::string::npos ? strFileName : strFileName.substr(slash + 1);
    if (base.empty() || base[0] == '.') return false;
    struct stat st {};
    if (::stat(strFileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

    std::FILE* f = std::fopen(strFileName.c_str(), "rb");
    if (!f) return false;
    std::vector<char> data;
    char chunk[65536];
    size_t n = 0;
    bool failed = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
    if (std::ferror(f)) failed = true;
    std::fclose(f);
    if (failed) return false;

    CloseFile();
    buf_ = std::move(data);
    pos_ = 0;
    opened_ = true;
    recordNum_ = 0;
    eof_ = buf_.empty();
    return true;
}

bool CCsvRead::ReadFile(bool blnTrim) {
    if (!opened_) return false;
    if (eof_) throw CsvError(62, "Input past end of file");

    // One line: up to CR LF, a lone CR or a lone LF.
    const size_t start = pos_;
    size_t end = start;
    while (end < buf_.size() && buf_[end] != '\r' && buf_[end] != '\n') ++end;
    pos_ = end;
    if (pos_ < buf_.size()) {
        if (buf_[pos_] == '\r' && pos_ + 1 < buf_.size() && buf_[pos_ + 1] == '\n') pos_ += 2;
        else ++pos_;
    }
    ++recordNum_;
    eof_ = pos_ >= buf_.size();

    for (auto& item : items_) item.clear();
    itemNum_ = 0;
    std::vector<std::string> parts =
        splitCsvLine(fromCp932(std::string_view(buf_.data() + start, end - start)));
    const size_t count = std::min(parts.size(), static_cast<size_t>(kMaxItems));
    for (size_t i = 0; i < count; ++i) items_[i] = std::move(parts[i]);
    itemNum_ = static_cast<int16_t>(count);
    if (parts.size() > static_cast<size_t>(kMaxItems)) throw CsvError(9, "Subscript out of range");
    if (blnTrim)
        for (size_t i = 0; i < count; ++i) items_[i] = trimBlanks(items_[i]);
    return true;
}

}  // namespace qm
