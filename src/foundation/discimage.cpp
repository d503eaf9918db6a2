#include "foundation/discimage.h"

#include "foundation/text.h"

#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <cdio/udf.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <new>
#include <unordered_set>

namespace qm {

namespace {

constexpr uint32_t kBlock = 2048;

struct Fail {
    DiscProblem kind;
    std::string text;
};

[[noreturn]] void fail(DiscProblem kind, std::string text) { throw Fail{kind, std::move(text)}; }
[[noreturn]] void corrupt(const std::string& what) {
    fail(DiscProblem::Corrupt, "ディスクイメージの構造が壊れています（" + what + "）。");
}
[[noreturn]] void truncated() {
    fail(DiscProblem::Truncated, "ディスクイメージが途中で切れています（ファイルが不完全です）。");
}

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint64_t le64(const uint8_t* p) { return uint64_t(le32(p)) | (uint64_t(le32(p + 4)) << 32); }

void putUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// UTF-16 big-endian (Joliet, and UDF names of compression 16) to UTF-8; a lone
// surrogate becomes U+FFFD.
std::string utf16be(const uint8_t* p, size_t bytes) {
    std::string out;
    out.reserve(bytes * 3 / 2);
    const size_t n = bytes / 2;
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = uint32_t(p[2 * i] << 8 | p[2 * i + 1]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) {
            const uint32_t d = uint32_t(p[2 * i + 2] << 8 | p[2 * i + 3]);
            if (d >= 0xDC00 && d < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        putUtf8(out, c);
    }
    return out;
}

std::string latin1(const uint8_t* p, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) putUtf8(out, p[i]);
    return out;
}

// OSTA compressed Unicode: the first byte says 8 or 16 bits per character.
std::string cs0(const uint8_t* p, size_t n) {
    if (n == 0) return {};
    if (p[0] == 16 || p[0] == 255) return utf16be(p + 1, n - 1);
    if (p[0] == 8 || p[0] == 254) return latin1(p + 1, n - 1);
    return {};
}

// A dstring: a field whose last byte holds the length used.
std::string dstring(const uint8_t* p, size_t field) {
    const size_t used = p[field - 1];
    return used == 0 || used >= field ? std::string() : cs0(p, used);
}

// "NAME.EXT;1" -> "NAME.EXT", "NAME.;1" -> "NAME", as Windows shows them.
void stripVersion(std::string& name) {
    const size_t semi = name.rfind(';');
    if (semi != std::string::npos &&
        std::all_of(name.begin() + long(semi) + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        name.erase(semi);
    if (name.size() > 1 && name.back() == '.') name.pop_back();
}

int64_t daysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return int64_t(era) * 146097 + int64_t(doe) - 719468;
}

LocalDate localOf(int64_t utc) {
    LocalDate out;
    const std::time_t t = std::time_t(utc);
    std::tm tm{};
#ifdef _WIN32
    if (localtime_s(&tm, &t) != 0) return out;
#else
    if (!localtime_r(&t, &tm)) return out;
#endif
    out.year = tm.tm_year + 1900;
    out.month = tm.tm_mon + 1;
    out.day = tm.tm_mday;
    out.hour = tm.tm_hour;
    out.minute = tm.tm_min;
    return out;
}

// A date given in a zone (minutes east of UTC) as local time of this machine.
LocalDate dateOf(int year, int month, int day, int hour, int minute, int second, int zoneMinutes) {
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 60)
        return {};
    const int64_t utc = daysFromCivil(year, unsigned(month), unsigned(day)) * 86400 + hour * 3600 +
                        minute * 60 + second - int64_t(zoneMinutes) * 60;
    return localOf(utc);
}

// The recording date of an ISO 9660 directory record (7 bytes).
LocalDate isoDate(const uint8_t* p) {
    int zone = int8_t(p[6]);
    if (zone < -48 || zone > 52) zone = 0;
    return dateOf(1900 + p[0], p[1], p[2], p[3], p[4], p[5], zone * 15);
}

// A UDF timestamp (12 bytes).
LocalDate udfDate(const uint8_t* p) {
    const uint16_t typeZone = le16(p);
    int zone = typeZone & 0x0FFF;
    if (zone & 0x0800) zone -= 0x1000;
    if (zone == -2047 || (typeZone >> 12) != 1) zone = 0;
    return dateOf(int16_t(le16(p + 2)), p[4], p[5], p[6], p[7], p[8], zone);
}

bool isDChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }

// A name that ISO 9660 level 1 holds: a folder of up to 8 d-characters, a file of up to
// 8 + "." + up to 3.
bool level1Name(const std::string& name, bool folder) {
    const size_t dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || !std::all_of(base.begin(), base.end(), isDChar)) return false;
    if (dot == std::string::npos) return true;
    return !folder && ext.size() <= 3 && std::all_of(ext.begin(), ext.end(), isDChar);
}

// The shape of level 1 (lengths only), to judge the level an image was made with.
bool level1Shape(const std::string& name, bool folder) {
    const size_t dot = name.find('.');
    if (dot == std::string::npos) return name.size() <= 8;
    return !folder && dot <= 8 && name.size() - dot - 1 <= 3 && name.find('.', dot + 1) == std::string::npos;
}

std::vector<std::string_view> splitRel(std::string_view rel) {
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i <= rel.size()) {
        size_t j = rel.find_first_of("\\/", i);
        if (j == std::string_view::npos) j = rel.size();
        const std::string_view part = rel.substr(i, j - i);
        if (!part.empty() && part != ".") parts.push_back(part);
        i = j + 1;
    }
    return parts;
}

bool readHead(const std::string& path, std::vector<uint8_t>& head, size_t bytes) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) return false;
    head.assign(bytes, 0);
    in.read(reinterpret_cast<char*>(head.data()), std::streamsize(bytes));
    head.resize(size_t(in.gcount()));
    return true;
}

// Volume recognition: what the descriptors from sector 16 on announce.
struct Recognition {
    bool cd001 = false, nsr = false;
};
Recognition recognise(const std::vector<uint8_t>& head) {
    Recognition r;
    for (size_t s = 16; (s + 1) * kBlock <= head.size(); ++s) {
        const char* id = reinterpret_cast<const char*>(head.data() + s * kBlock + 1);
        if (!std::memcmp(id, "CD001", 5)) r.cd001 = true;
        else if (!std::memcmp(id, "NSR02", 5) || !std::memcmp(id, "NSR03", 5)) r.nsr = true;
        else if (std::memcmp(id, "BEA01", 5) && std::memcmp(id, "TEA01", 5) && std::memcmp(id, "CDW02", 5) &&
                 std::memcmp(id, "BOOT2", 5))
            break;
    }
    return r;
}

void quietLog(cdio_log_level_t, const char*) {}

uint32_t descriptorSerial(const std::vector<uint8_t>& d) {
    uint8_t p[4] = {0, 0, 0, 0};
    for (size_t i = 0; i + 3 < d.size() && i < kBlock; i += 4) {
        p[3] = uint8_t(p[3] + d[i]);
        p[2] = uint8_t(p[2] + d[i + 1]);
        p[1] = uint8_t(p[1] + d[i + 2]);
        p[0] = uint8_t(p[0] + d[i + 3]);
    }
    const uint32_t serial = le32(p);
    return serial != 0 ? serial : 1;
}

struct UdfPartition {
    bool used = false;
    uint32_t start = 0, length = 0;  // physical partition
    bool metadata = false;
    std::vector<std::pair<uint32_t, uint32_t>> runs;  // metadata: (physical block, blocks)
};

}  // namespace

// Sector access through libcdio: the ISO 9660 handle where the image has one, else
// the UDF handle. Reads past the end of the image make it truncated.
struct DiscImage::Source {
    iso9660_t* iso = nullptr;
    udf_t* udf = nullptr;
    uint64_t size = 0;
    uint64_t blocks = 0;
    std::vector<UdfPartition> parts;  // the UDF partitions, by reference, once read

    ~Source() {
        if (iso) iso9660_close(iso);
        if (udf) udf_close(udf);
    }
    void read(uint64_t lsn, uint32_t count, uint8_t* buf) const {
        if (count == 0) return;
        if (lsn >= blocks || count > blocks - lsn) truncated();
        bool ok;
        if (iso) ok = iso9660_iso_seek_read(iso, buf, lsn_t(lsn), count) == long(count) * long(kBlock);
        else ok = udf_read_sectors(udf, buf, lsn_t(lsn), long(count)) == DRIVER_OP_SUCCESS;
        if (!ok) fail(DiscProblem::Unreadable, "ディスクイメージを読み取れません。");
    }
};

// Builds the index. Where an entry's data lies (Folder::where): for ISO 9660 the first
// block, with bit 63 set for a file in several extents; for UDF the partition reference
// (bits 32..47) and block of its file entry.
struct DiscIndexer {
    DiscImage& img;
    const DiscImage::Source& src;
    explicit DiscIndexer(DiscImage& i) : img(i), src(*i.src_), parts(i.src_->parts) {}

    std::vector<uint8_t> block(uint64_t lsn) const {
        std::vector<uint8_t> b(kBlock);
        src.read(lsn, 1, b.data());
        return b;
    }

    uint32_t newFolder(const std::string& path, int depth) {
        if (depth > DiscImage::kMaxDepth) corrupt("フォルダの階層が深すぎます");
        img.folders_.push_back({});
        img.folders_.back().path = path;
        img.folders_.back().depth = depth;
        return uint32_t(img.folders_.size() - 1);
    }
    void countEntry() {
        if (++img.entryCount_ > DiscImage::kMaxEntries)
            fail(DiscProblem::TooLarge, "ディスクイメージのファイルとフォルダが多すぎます（" +
                                            std::to_string(DiscImage::kMaxEntries) + " を超えています）。");
    }
    static std::string join(const std::string& folder, const std::string& name) {
        return folder.empty() ? name : folder + "\\" + name;
    }
    void sortFolder(DiscImage::Folder& f) {
        std::vector<size_t> order(f.entries.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::vector<std::string> keys;
        keys.reserve(order.size());
        for (const auto& e : f.entries) keys.push_back(upperAscii(e.name));
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return keys[a] != keys[b] ? keys[a] < keys[b] : f.entries[a].name < f.entries[b].name;
        });
        std::vector<DiscEntry> e;
        std::vector<uint64_t> w;
        e.reserve(order.size());
        w.reserve(order.size());
        for (size_t i : order) {
            e.push_back(std::move(f.entries[i]));
            w.push_back(f.where[i]);
        }
        f.entries = std::move(e);
        f.where = std::move(w);
    }

    // ---- ISO 9660 and Joliet -----------------------------------------------------------
    struct IsoSurvey {
        bool multiExtent = false, longNames = false;
    };

    // Walks a directory hierarchy from its root record. store: build the index (and the
    // level 1 and large file facts when facts is set); otherwise only judge the level.
    void walkIso(const uint8_t* rootRecord, bool joliet, bool store, bool facts, IsoSurvey& survey) {
        struct Work {
            uint32_t lba, size;
            uint32_t folder;
            std::string path;
            int depth;
        };
        std::deque<Work> queue;
        std::unordered_set<uint32_t> seen;
        const uint32_t rootLba = le32(rootRecord + 2), rootSize = le32(rootRecord + 10);
        queue.push_back({rootLba, rootSize, store ? newFolder("", 1) : 0, "", 1});
        seen.insert(rootLba);
        std::vector<uint8_t> data;
        while (!queue.empty()) {
            Work w = std::move(queue.front());
            queue.pop_front();
            if (w.size > DiscImage::kMaxFolderBytes) corrupt("フォルダのデータが大きすぎます");
            const uint32_t sectors = (w.size + kBlock - 1) / kBlock;
            data.assign(size_t(sectors) * kBlock, 0);
            src.read(w.lba, sectors, data.data());
            std::vector<Work> children;
            DiscEntry* pending = nullptr;  // a file continued in the next record
            std::string pendingRaw;
            size_t pos = 0;
            while (pos < w.size) {
                const size_t len = data[pos];
                if (len == 0) {
                    pos = (pos / kBlock + 1) * kBlock;
                    continue;
                }
                if (len < 34 || pos % kBlock + len > kBlock || pos + len > data.size())
                    corrupt("ディレクトリレコードが不正です");
                const uint8_t* r = data.data() + pos;
                pos += len;
                const size_t nameLen = r[32];
                if (33 + nameLen > len) corrupt("ディレクトリレコードが不正です");
                if (nameLen == 1 && (r[33] == 0 || r[33] == 1)) continue;  // "." and ".."
                const uint8_t flags = r[25];
                if (flags & 0x04) continue;  // an associated file, never shown
                const std::string raw(reinterpret_cast<const char*>(r + 33), nameLen);
                const bool dir = flags & 0x02;
                const uint64_t extentSize = le32(r + 10);
                if (pending && raw == pendingRaw && !dir) {
                    if (store) pending->size += extentSize;
                    if (!(flags & 0x80)) pending = nullptr;
                    continue;
                }
                pending = nullptr;
                std::string name = joliet ? utf16be(r + 33, nameLen) : latin1(r + 33, nameLen);
                stripVersion(name);
                if (name.empty()) continue;
                if (flags & 0x80) survey.multiExtent = true;
                if (!joliet && !level1Shape(name, dir)) survey.longNames = true;
                if (dir) {
                    const uint32_t lba = le32(r + 2);
                    if (!seen.insert(lba).second) corrupt("フォルダが循環しています");
                    if (w.depth + 1 > DiscImage::kMaxDepth) corrupt("フォルダの階層が深すぎます");
                    children.push_back({lba, uint32_t(extentSize), 0, join(w.path, name), w.depth + 1});
                }
                if (!store) continue;
                countEntry();
                DiscImage::Folder& f = img.folders_[w.folder];
                DiscEntry e;
                e.name = std::move(name);
                e.isDir = dir;
                e.hidden = flags & 0x01;
                e.size = dir ? 0 : extentSize;
                e.modified = isoDate(r + 18);
                f.entries.push_back(std::move(e));
                f.where.push_back(uint64_t(le32(r + 2)) | ((flags & 0x80) ? (1ull << 63) : 0));
                if (flags & 0x80) {
                    pending = &f.entries.back();
                    pendingRaw = raw;
                }
            }
            if (store) {
                size_t child = 0;
                const size_t count = img.folders_[w.folder].entries.size();
                for (size_t i = 0; i < count; ++i) {
                    if (img.folders_[w.folder].entries[i].isDir) {
                        const uint32_t index = newFolder(children[child].path, children[child].depth);
                        img.folders_[w.folder].entries[i].folder = index;
                        children[child].folder = index;
                        ++child;
                    }
                    if (facts) factsOf(img.folders_[w.folder], img.folders_[w.folder].entries[i]);
                }
                sortFolder(img.folders_[w.folder]);
            }
            for (auto& c : children) queue.push_back(std::move(c));
        }
    }

    void factsOf(const DiscImage::Folder& f, const DiscEntry& e) {
        DiscFacts& x = img.facts_;
        const bool tooDeep = e.isDir && f.depth + 1 > 8;
        if (!level1Name(e.name, e.isDir) || tooDeep) {
            if (x.level1Breaks.size() < DiscFacts::kMaxListed) x.level1Breaks.push_back(join(f.path, e.name));
            ++x.level1BreakCount;
        }
        if (!e.isDir && e.size >= (4ull << 30)) {
            if (x.largeFiles.size() < DiscFacts::kMaxListed) x.largeFiles.push_back(join(f.path, e.name));
            ++x.largeFileCount;
        }
    }

    // ---- UDF ---------------------------------------------------------------------------
    using Partition = UdfPartition;
    std::vector<Partition>& parts;  // by partition reference

    static bool tagOk(const uint8_t* b, uint16_t id) {
        if (le16(b) != id) return false;
        uint8_t sum = 0;
        for (int i = 0; i < 16; ++i)
            if (i != 4) sum = uint8_t(sum + b[i]);
        return sum == b[4];
    }

    uint64_t sectorOf(uint16_t ref, uint32_t lbn) const {
        if (ref >= parts.size() || !parts[ref].used) corrupt("UDF のパーティション参照が不正です");
        const Partition& p = parts[ref];
        if (!p.metadata) {
            if (p.length && lbn >= p.length) corrupt("UDF のブロック番号がパーティションの外です");
            return uint64_t(p.start) + lbn;
        }
        uint64_t at = lbn;
        for (const auto& [phys, n] : p.runs) {
            if (at < n) return uint64_t(phys) + at;
            at -= n;
        }
        corrupt("UDF のメタデータの外を指しています");
    }

    struct Extent {
        uint16_t ref;
        uint32_t lbn, bytes;
        bool zeros;
    };
    struct Node {
        bool dir = false;
        uint64_t size = 0;
        LocalDate modified;
        bool inIcb = false;
        std::vector<uint8_t> inline_;  // data held in the entry itself
        std::vector<Extent> extents;
    };

    // Reads a file entry (or extended file entry) and its allocation descriptors.
    Node fileEntry(uint16_t ref, uint32_t lbn) const { return fileEntryAt(block(sectorOf(ref, lbn)), ref); }

    void allocation(std::vector<uint8_t> b, size_t at, uint32_t len, uint16_t kind, uint16_t ref,
                    std::vector<Extent>& out) const {
        const size_t step = kind == 0 ? 8 : kind == 1 ? 16 : 0;
        if (step == 0) fail(DiscProblem::Unsupported, "対応していない形式のディスクイメージです（UDF の拡張割り当て記述子）。");
        for (int hops = 0;; ++hops) {
            uint16_t nextRef = 0;
            uint32_t nextLbn = 0;
            bool next = false;
            for (size_t p = at; p + step <= at + len; p += step) {
                const uint32_t raw = le32(b.data() + p);
                const uint32_t bytes = raw & 0x3FFFFFFF;
                const uint32_t type = raw >> 30;
                const uint32_t lbn = le32(b.data() + p + 4);
                const uint16_t r = kind == 0 ? ref : le16(b.data() + p + 8);
                if (bytes == 0) break;
                if (type == 3) {
                    next = true;
                    nextRef = r;
                    nextLbn = lbn;
                    break;
                }
                if (out.size() >= 65536) corrupt("UDF の割り当て記述子が多すぎます");
                out.push_back({r, lbn, bytes, type != 0});
            }
            if (!next) return;
            if (hops >= 256) corrupt("UDF の割り当て記述子が多すぎます");
            b = block(sectorOf(nextRef, nextLbn));
            if (!tagOk(b.data(), 258)) corrupt("UDF の割り当て記述子が不正です");
            len = le32(b.data() + 20);
            at = 24;
            if (len > kBlock - at) corrupt("UDF の割り当て記述子が不正です");
        }
    }

    // The data of a node, at most limit bytes (more is an error the caller words).
    std::vector<uint8_t> dataOf(const Node& n, uint64_t limit) const {
        if (n.size > limit) fail(DiscProblem::TooLarge, "");
        std::vector<uint8_t> out;
        if (n.inIcb) {
            out = n.inline_;
            if (out.size() > n.size) out.resize(size_t(n.size));
            if (out.size() < n.size) corrupt("UDF のファイルの長さが不正です");
            return out;
        }
        out.reserve(size_t(n.size));
        std::vector<uint8_t> buf;
        for (const Extent& e : n.extents) {
            if (out.size() >= n.size) break;
            const uint64_t want = std::min<uint64_t>(e.bytes, n.size - out.size());
            if (e.zeros) {
                out.resize(out.size() + size_t(want), 0);
                continue;
            }
            const uint32_t blocks = uint32_t((want + kBlock - 1) / kBlock);
            buf.resize(size_t(blocks) * kBlock);
            sectorOf(e.ref, e.lbn);  // checks the reference
            if (!parts[e.ref].metadata) {
                const uint64_t first = sectorOf(e.ref, e.lbn);
                sectorOf(e.ref, e.lbn + blocks - 1);
                src.read(first, blocks, buf.data());
            } else {
                for (uint32_t i = 0; i < blocks; ++i) src.read(sectorOf(e.ref, e.lbn + i), 1, buf.data() + size_t(i) * kBlock);
            }
            out.insert(out.end(), buf.begin(), buf.begin() + long(want));
        }
        if (out.size() < n.size) corrupt("UDF のファイルの長さが不正です");
        return out;
    }

    // Reads the volume descriptors; answers false when the image holds no UDF this
    // reader follows (reason set), true with the root ICB otherwise.
    bool udfVolume(uint16_t& rootRef, uint32_t& rootLbn, std::string& reason) {
        const std::vector<uint8_t> anchor = block(256);
        if (!tagOk(anchor.data(), 2)) {
            reason = "UDF のアンカーがありません";
            return false;
        }
        const uint32_t vdsLen = le32(anchor.data() + 16), vdsLoc = le32(anchor.data() + 20);
        const uint32_t count = std::min<uint32_t>(vdsLen / kBlock, 256);
        struct PartDesc {
            uint16_t number;
            uint32_t start, length;
        };
        std::vector<PartDesc> pds;
        std::vector<uint8_t> lvd;
        for (uint32_t i = 0; i < count; ++i) {
            const std::vector<uint8_t> b = block(uint64_t(vdsLoc) + i);
            if (tagOk(b.data(), 8)) break;
            if (tagOk(b.data(), 5)) pds.push_back({le16(b.data() + 22), le32(b.data() + 188), le32(b.data() + 192)});
            else if (tagOk(b.data(), 6) && lvd.empty()) lvd = b;
        }
        if (lvd.empty() || pds.empty()) corrupt("UDF のボリューム記述子がありません");
        img.facts_.volumeSerial = descriptorSerial(lvd);
        img.facts_.udfRevision = le16(lvd.data() + 240);
        if (le32(lvd.data() + 212) != kBlock) {
            reason = "UDF の論理ブロックが 2048 バイトではありません";
            return false;
        }
        img.facts_.label = dstring(lvd.data() + 84, 128);
        const uint32_t mapLen = std::min<uint32_t>(le32(lvd.data() + 264), kBlock - 440);
        const uint32_t maps = le32(lvd.data() + 268);
        auto physical = [&](uint16_t number, Partition& p) {
            for (const auto& d : pds)
                if (d.number == number) {
                    p.used = true;
                    p.start = d.start;
                    p.length = d.length;
                    return;
                }
            corrupt("UDF のパーティションがありません");
        };
        std::vector<std::pair<size_t, uint32_t>> metadataFiles;  // (reference, block in partition)
        size_t at = 440;
        for (uint32_t m = 0; m < maps && m < 64; ++m) {
            if (at + 2 > 440 + mapLen) corrupt("UDF のパーティションマップが不正です");
            const uint8_t type = lvd[at], len = lvd[at + 1];
            if (len < 6 || at + len > 440 + mapLen) corrupt("UDF のパーティションマップが不正です");
            Partition p;
            if (type == 1) {
                physical(le16(lvd.data() + at + 4), p);
            } else if (type == 2 && len >= 64) {
                const std::string id(reinterpret_cast<const char*>(lvd.data() + at + 5), 23);
                physical(le16(lvd.data() + at + 38), p);
                if (id.rfind("*UDF Metadata Partition", 0) == 0) {
                    p.metadata = true;
                    metadataFiles.push_back({parts.size(), le32(lvd.data() + at + 40)});
                } else if (id.rfind("*UDF Sparable Partition", 0) != 0) {
                    reason = "UDF の仮想パーティション";
                    return false;
                }
            } else {
                corrupt("UDF のパーティションマップが不正です");
            }
            parts.push_back(std::move(p));
            at += len;
        }
        for (const auto& [ref, where] : metadataFiles) {
            Partition base = parts[ref];
            base.metadata = false;
            const uint64_t sector = uint64_t(base.start) + where;
            if (base.length && where >= base.length) corrupt("UDF のメタデータファイルの位置が不正です");
            // The metadata file's extents lie in its (physical) partition.
            const Node n = fileEntryAt(block(sector), uint16_t(ref));
            if (n.inIcb) corrupt("UDF のメタデータファイルが不正です");
            for (const Extent& e : n.extents) {
                if (e.zeros) continue;
                parts[ref].runs.push_back({base.start + e.lbn, (e.bytes + kBlock - 1) / kBlock});
            }
        }
        const uint32_t fsdLbn = le32(lvd.data() + 252);
        const uint16_t fsdRef = le16(lvd.data() + 256);
        const std::vector<uint8_t> fsd = block(sectorOf(fsdRef, fsdLbn));
        if (!tagOk(fsd.data(), 256)) corrupt("UDF のファイルセット記述子がありません");
        rootLbn = le32(fsd.data() + 404);
        rootRef = le16(fsd.data() + 408);
        return true;
    }

    // fileEntry() of a block already read, in partition reference ref.
    Node fileEntryAt(const std::vector<uint8_t>& b, uint16_t ref) const {
        Node n;
        size_t adAt;
        uint32_t lea, lad;
        if (tagOk(b.data(), 261)) {
            n.modified = udfDate(b.data() + 84);
            lea = le32(b.data() + 168), lad = le32(b.data() + 172), adAt = 176;
        } else if (tagOk(b.data(), 266)) {
            n.modified = udfDate(b.data() + 92);
            lea = le32(b.data() + 208), lad = le32(b.data() + 212), adAt = 216;
        } else {
            corrupt("UDF のファイルエントリが不正です");
        }
        n.dir = b[27] == 4;
        n.size = le64(b.data() + 56);
        if (lea > kBlock || lad > kBlock || adAt + lea + lad > kBlock) corrupt("UDF のファイルエントリが不正です");
        adAt += lea;
        const uint16_t kind = le16(b.data() + 34) & 7;
        if (kind == 3) {
            n.inIcb = true;
            n.inline_.assign(b.begin() + long(adAt), b.begin() + long(adAt + lad));
            return n;
        }
        allocation(b, adAt, lad, kind, ref, n.extents);
        return n;
    }

    void walkUdf(uint16_t rootRef, uint32_t rootLbn) {
        struct Work {
            uint16_t ref;
            uint32_t lbn;
            uint32_t folder;
        };
        std::deque<Work> queue;
        std::unordered_set<uint64_t> seen;
        queue.push_back({rootRef, rootLbn, newFolder("", 1)});
        seen.insert(uint64_t(rootRef) << 32 | rootLbn);
        while (!queue.empty()) {
            const Work w = queue.front();
            queue.pop_front();
            const Node dir = fileEntry(w.ref, w.lbn);
            if (!dir.dir) corrupt("UDF のフォルダがフォルダではありません");
            std::vector<uint8_t> data;
            try {
                data = dataOf(dir, DiscImage::kMaxFolderBytes);
            } catch (const Fail& f) {
                if (f.kind == DiscProblem::TooLarge) corrupt("フォルダのデータが大きすぎます");
                throw;
            }
            size_t pos = 0;
            while (pos + 38 <= data.size()) {
                const uint8_t* d = data.data() + pos;
                if (!tagOk(d, 257)) corrupt("UDF のファイル識別記述子が不正です");
                const uint8_t chars = d[18];
                const size_t lfi = d[19], liu = le16(d + 36);
                const size_t total = 4 * ((38 + liu + lfi + 3) / 4);
                if (pos + 38 + liu + lfi > data.size()) corrupt("UDF のファイル識別記述子が不正です");
                const uint32_t lbn = le32(d + 24);
                const uint16_t ref = le16(d + 28);
                const std::string name = cs0(d + 38 + liu, lfi);
                pos += total;
                if (chars & 0x0C) continue;  // deleted, or the parent
                if (name.empty()) continue;
                countEntry();
                const Node n = fileEntry(ref, lbn);
                DiscEntry e;
                e.name = name;
                e.isDir = (chars & 0x02) != 0;
                e.hidden = chars & 0x01;
                e.size = e.isDir ? 0 : n.size;
                e.modified = n.modified;
                if (e.isDir) {
                    if (!seen.insert(uint64_t(ref) << 32 | lbn).second) corrupt("フォルダが循環しています");
                    const DiscImage::Folder& parent = img.folders_[w.folder];
                    const uint32_t index = newFolder(join(parent.path, name), parent.depth + 1);
                    e.folder = index;
                    queue.push_back({ref, lbn, index});
                }
                img.folders_[w.folder].entries.push_back(std::move(e));
                img.folders_[w.folder].where.push_back(uint64_t(ref) << 32 | lbn);
            }
            sortFolder(img.folders_[w.folder]);
        }
    }

    // ---- The whole image -----------------------------------------------------------------
    void run(const std::vector<uint8_t>& head) {
        DiscFacts& x = img.facts_;
        const Recognition rec = recognise(head);
        std::vector<uint8_t> pvd, svd;
        if (src.iso) {
            pvd = block(16);
            if (pvd[0] != 1 || std::memcmp(pvd.data() + 1, "CD001", 5)) pvd.clear();
            for (uint32_t s = 17; !pvd.empty() && s < 16 + 64; ++s) {
                const std::vector<uint8_t> b = block(s);
                if (std::memcmp(b.data() + 1, "CD001", 5) || b[0] == 255) break;
                if (b[0] == 2 && b[88] == 0x25 && b[89] == 0x2F && (b[90] == 0x40 || b[90] == 0x43 || b[90] == 0x45)) {
                    svd = b;
                    x.jolietLevel = b[90] == 0x40 ? 1 : b[90] == 0x43 ? 2 : 3;
                }
            }
            if (!pvd.empty()) {
                x.iso9660 = true;
                x.joliet = !svd.empty();
                const uint64_t space = le32(pvd.data() + 80);
                if (space * kBlock > src.size) truncated();
                x.rockRidge = rockRidge(pvd.data() + 156);
            }
        }
        bool udfRead = false;
        if (rec.nsr && src.blocks > 256) {
            x.udf = true;
            uint16_t rootRef = 0;
            uint32_t rootLbn = 0;
            std::string reason;
            if (udfVolume(rootRef, rootLbn, reason)) {
                for (const Partition& p : parts)
                    if (p.used && !p.metadata && uint64_t(p.start) + p.length > src.blocks) truncated();
                x.tree = "UDF";
                walkUdf(rootRef, rootLbn);
                udfRead = true;
            } else if (!x.iso9660) {
                fail(DiscProblem::Unsupported, "対応していない形式のディスクイメージです（" + reason + "）。");
            } else {
                x.note = "UDF を読めないため（" + reason + "）、ISO 9660 側のツリーを読みました。";
            }
        }
        if (!x.iso9660 && !x.udf) fail(DiscProblem::NotImage, "ディスクイメージ（ISO 9660 又は UDF）ではありません。");
        IsoSurvey survey;
        if (!udfRead) {
            if (x.joliet) {
                x.tree = "Joliet";
                x.volumeSerial = descriptorSerial(svd);
                x.label = utf16be(svd.data() + 40, 32);
                walkIso(svd.data() + 156, true, true, false, survey);
                IsoSurvey primary;
                walkIso(pvd.data() + 156, false, false, false, primary);
                survey = primary;
            } else {
                x.tree = "ISO 9660";
                x.volumeSerial = descriptorSerial(pvd);
                x.label = latin1(pvd.data() + 40, 32);
                walkIso(pvd.data() + 156, false, true, !x.udf, survey);
            }
        } else if (x.iso9660) {
            walkIso(pvd.data() + 156, false, false, false, survey);
        }
        while (!x.label.empty() && x.label.back() == ' ') x.label.pop_back();
        if (x.iso9660) x.isoLevel = survey.multiExtent ? 3 : survey.longNames ? 2 : 1;
        if (x.udf || x.joliet) {
            x.level1Breaks.clear();
            x.level1BreakCount = 0;
            x.largeFiles.clear();
            x.largeFileCount = 0;
        }
    }

    // Rock Ridge: the root's "." record carries the SUSP indicator and Rock Ridge entries.
    bool rockRidge(const uint8_t* rootRecord) {
        const std::vector<uint8_t> b = block(le32(rootRecord + 2));
        const size_t len = b[0];
        if (len < 34) return false;
        const size_t nameLen = b[32];
        size_t p = 33 + nameLen + ((nameLen & 1) ? 0 : 1);
        bool sp = false, rr = false;
        while (p + 4 <= len) {
            const size_t l = b[p + 2];
            if (l < 4 || p + l > len) break;
            const char a = char(b[p]), c = char(b[p + 1]);
            if (a == 'S' && c == 'P') sp = true;
            if ((a == 'R' && c == 'R') || (a == 'P' && c == 'X') || (a == 'E' && c == 'R') ||
                (a == 'N' && c == 'M') || (a == 'T' && c == 'F'))
                rr = true;
            p += l;
        }
        return sp && rr;
    }
};

DiscImage::DiscImage() = default;
DiscImage::~DiscImage() = default;

bool DiscImage::looksLikeImage(const std::string& path) {
    std::vector<uint8_t> head;
    if (!readHead(path, head, 32 * kBlock)) return false;
    const Recognition r = recognise(head);
    return r.cd001 || r.nsr;
}

std::unique_ptr<DiscImage> DiscImage::open(const std::string& path, DiscProblem& problem, std::string& problemText) {
    problem = DiscProblem::None;
    problemText.clear();
    std::error_code ec;
    const auto status = std::filesystem::status(std::filesystem::u8path(path), ec);
    if (ec || !std::filesystem::exists(status)) {
        problem = DiscProblem::NotFound;
        problemText = "指定したイメージファイルは、見つかりませんでした。";
        return nullptr;
    }
    if (!std::filesystem::is_regular_file(status)) {
        problem = DiscProblem::NotImage;
        problemText = "ディスクイメージ（ISO 9660 又は UDF）ではありません。";
        return nullptr;
    }
    std::unique_ptr<DiscImage> img(new DiscImage());
    try {
        std::vector<uint8_t> head;
        if (!readHead(path, head, 32 * kBlock)) fail(DiscProblem::Unreadable, "ディスクイメージを読み取れません。");
        const Recognition rec = recognise(head);
        const uint64_t size = std::filesystem::file_size(std::filesystem::u8path(path), ec);
        if (ec) fail(DiscProblem::Unreadable, "ディスクイメージを読み取れません。");
        if (!rec.cd001 && !rec.nsr) {
            if (head.size() < 17 * kBlock && head.size() > 16 * kBlock) truncated();
            fail(DiscProblem::NotImage, "ディスクイメージ（ISO 9660 又は UDF）ではありません。");
        }
        static const bool quiet = [] {
            cdio_log_set_handler(quietLog);
            return true;
        }();
        (void)quiet;
        img->src_ = std::make_unique<Source>();
        Source& s = *img->src_;
        s.size = size;
        s.blocks = size / kBlock;
        if (rec.cd001) s.iso = iso9660_open_ext(path.c_str(), ISO_EXTENSION_NONE);
        if (rec.nsr && s.blocks > 256) s.udf = udf_open(path.c_str());
        if (!s.iso && !s.udf) {
            if (rec.nsr && s.blocks <= 256) truncated();
            corrupt("ボリューム記述子を読めません");
        }
        img->facts_.imageSize = size;
        for (const DiscMedium& m : discMedia())
            if (size <= m.capacity) {
                img->facts_.smallestMedium = &m;
                break;
            }
        DiscIndexer(*img).run(head);
    } catch (const Fail& f) {
        problem = f.kind;
        problemText = f.text;
        return nullptr;
    } catch (const std::bad_alloc&) {
        problem = DiscProblem::TooLarge;
        problemText = "ディスクイメージの索引を作るメモリが足りません。";
        return nullptr;
    }
    return img;
}

const DiscEntry* DiscImage::lookup(uint32_t folder, std::string_view name, size_t* index) const {
    const auto& entries = folders_[folder].entries;
    const std::string key = upperAscii(name);
    auto it = std::lower_bound(entries.begin(), entries.end(), key,
                               [](const DiscEntry& e, const std::string& k) { return upperAscii(e.name) < k; });
    const DiscEntry* found = nullptr;
    for (; it != entries.end() && upperAscii(it->name) == key; ++it) {
        if (!found || it->name == name) {
            found = &*it;
            if (index) *index = size_t(it - entries.begin());
        }
        if (it->name == name) break;
    }
    return found;
}

bool DiscImage::locate(std::string_view relPath, uint32_t& folder, size_t& index) const {
    if (folders_.empty()) return false;
    const auto parts = splitRel(relPath);
    if (parts.empty()) return false;
    folder = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        const DiscEntry* e = lookup(folder, parts[i], &index);
        if (!e) return false;
        if (i + 1 < parts.size()) {
            if (!e->isDir) return false;
            folder = e->folder;
        }
    }
    return true;
}

const DiscEntry* DiscImage::find(std::string_view relPath) const {
    uint32_t folder;
    size_t index;
    if (!locate(relPath, folder, index)) return nullptr;
    return &folders_[folder].entries[index];
}

int32_t DiscImage::folderAt(std::string_view relPath) const {
    if (folders_.empty()) return -1;
    if (splitRel(relPath).empty()) return 0;
    const DiscEntry* e = find(relPath);
    return e && e->isDir ? int32_t(e->folder) : -1;
}

bool DiscImage::isFolder(std::string_view relPath) const { return folderAt(relPath) >= 0; }

const std::vector<DiscEntry>* DiscImage::entries(std::string_view relPath) const {
    const int32_t f = folderAt(relPath);
    return f < 0 ? nullptr : &folders_[size_t(f)].entries;
}

Listing DiscImage::list(std::string_view relPath) const {
    Listing out;
    const std::vector<DiscEntry>* list = entries(relPath);
    if (!list) {
        out.errorNumber = 2;  // ENOENT
        out.error = "指定されたパスが見つかりません";
        return out;
    }
    out.ok = true;
    out.entries.reserve(list->size());
    for (const DiscEntry& e : *list) {
        DirEntry d;
        d.raw = e.name;
        d.name = e.name;
        d.isDir = e.isDir;
        d.isRegular = !e.isDir;
        d.isHidden = e.hidden || (!e.name.empty() && e.name[0] == '.');
        d.modified = e.modified;
        d.size = e.size;
        out.entries.push_back(std::move(d));
    }
    return out;
}

bool DiscImage::readFile(std::string_view relPath, std::string& bytes, std::string& reason, uint64_t limit) const {
    bytes.clear();
    reason.clear();
    uint32_t folder;
    size_t index;
    if (!locate(relPath, folder, index) || folders_[folder].entries[index].isDir) {
        reason = "指定されたファイルが見つかりません";
        return false;
    }
    const DiscEntry& e = folders_[folder].entries[index];
    const uint64_t where = folders_[folder].where[index];
    if (e.size > limit) {
        reason = "ファイルが大きすぎます";
        return false;
    }
    try {
        if (facts_.tree == "UDF") {
            DiscIndexer ix(const_cast<DiscImage&>(*this));  // reads only: the partitions are kept in src_
            const DiscIndexer::Node n = ix.fileEntry(uint16_t(where >> 32), uint32_t(where));
            const std::vector<uint8_t> data = ix.dataOf(n, limit);
            bytes.assign(data.begin(), data.end());
            return true;
        }
        if (where >> 63) {
            reason = "複数の領域に分かれたファイルは読み取れません";
            return false;
        }
        // Whole sectors straight into the answer, the last one through a block of its own.
        const uint32_t whole = uint32_t(e.size / kBlock);
        bytes.resize(size_t(e.size));
        auto* out = reinterpret_cast<uint8_t*>(bytes.data());
        for (uint32_t done = 0; done < whole;) {
            const uint32_t n = std::min<uint32_t>(whole - done, 64);
            src_->read(uint32_t(where) + uint64_t(done), n, out + size_t(done) * kBlock);
            done += n;
        }
        if (const size_t rest = size_t(e.size % kBlock)) {
            uint8_t last[kBlock];
            src_->read(uint32_t(where) + uint64_t(whole), 1, last);
            std::memcpy(out + size_t(whole) * kBlock, last, rest);
        }
        return true;
    } catch (const Fail& f) {
        reason = f.kind == DiscProblem::TooLarge ? "ファイルが大きすぎます" : f.text;
    } catch (const std::bad_alloc&) {
        reason = "ファイルが大きすぎます";
    }
    bytes.clear();
    return false;
}

}  // namespace qm
