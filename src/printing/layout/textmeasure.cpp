#include "printing/layout/textmeasure.h"

#include "foundation/messages.h"

#include <QFontMetrics>
#include <QPaintDevice>

#include <map>
#include <mutex>
#include <tuple>

namespace qm::print {

namespace {

// The next code point of UTF-8 text; a malformed byte stands for itself as U+FFFD.
char32_t nextCodePoint(std::string_view s, size_t& i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) { ++i; return c; }
    int len = 0;
    char32_t cp = 0;
    if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
    else { ++i; return 0xFFFD; }
    if (i + len > s.size()) { ++i; return 0xFFFD; }
    for (int k = 1; k < len; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) { ++i; return 0xFFFD; }
        cp = (cp << 6) | (d & 0x3F);
    }
    i += len;
    return cp;
}

void appendCodePoint(QString& out, char32_t c) {
    if (c < 0x10000) {
        out.append(QChar(static_cast<char16_t>(c)));
    } else {
        const char32_t v = c - 0x10000;
        out.append(QChar(static_cast<char16_t>(0xD800 + (v >> 10))));
        out.append(QChar(static_cast<char16_t>(0xDC00 + (v & 0x3FF))));
    }
}

}  // namespace

std::shared_ptr<CharWidths> CharWidths::of(const QString& family, int pixelSize, const QPaintDevice* device) {
    using Key = std::tuple<QString, int, int>;
    static std::mutex lock;
    static std::map<Key, std::shared_ptr<CharWidths>> tables;
    const int dpi = device ? device->logicalDpiY() : 0;
    const Key key{family, pixelSize, dpi};
    std::lock_guard<std::mutex> guard(lock);
    auto it = tables.find(key);
    if (it != tables.end()) return it->second;
    auto table = std::make_shared<CharWidths>(family, pixelSize);
    tables.emplace(key, table);
    return table;
}

CharWidths::CharWidths(const QString& family, int pixelSize)
    : family_(family), height_(pixelSize > 0 ? pixelSize : 1), bmp_(0x10000, -1) {}

QFont CharWidths::font() const {
    QFont f(family_);
    f.setPixelSize(height_);
    f.setWeight(QFont::Normal);
    f.setKerning(false);
    return f;
}

int CharWidths::measure(char32_t c) const {
    QString s;
    appendCodePoint(s, c);
    // A pixel-sized font measures alike at every resolution of the device.
    return QFontMetrics(font()).horizontalAdvance(s);
}

int CharWidths::width(char32_t c) {
    if (c < 0x10000) {
        int32_t& w = bmp_[c];
        if (w < 0) w = measure(c);
        return w;
    }
    auto it = other_.find(c);
    if (it != other_.end()) return it->second;
    const int w = measure(c);
    other_.emplace(c, w);
    return w;
}

int wrapText(CharWidths& widths, std::string_view utf8, int width, std::vector<TextPiece>* pieces) {
    int lines = 1;
    int x = 0;
    const int tab = 2 * widths.height();
    bool open = false;  // the last piece continues with the next character
    auto place = [&](char32_t c, int at) {
        if (!pieces) return;
        if (!open) {
            pieces->push_back(TextPiece{at, lines - 1, QString()});
            open = true;
        }
        appendCodePoint(pieces->back().text, c);
    };
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = nextCodePoint(utf8, i);
        if (c == U'\r') {
            x = 0;
            open = false;
        } else if (c == U'\n') {
            ++lines;
            open = false;
        } else if (c == U'\t') {
            x = tab > 0 ? tab * (x / tab + 1) : x;
            open = false;
        } else {
            const int w = widths.width(c);
            if (x + w > width) {
                ++lines;
                open = false;
                place(c, 0);
                x = w;
            } else {
                place(c, x);
                x += w;
            }
        }
    }
    return lines;
}

int16_t GetTextHeight(CharWidths& widths, std::string_view utf8, int width) {
    try {
        const int lines = wrapText(widths, utf8, width);
        return static_cast<int16_t>(lines > 32767 ? 32767 : lines);
    } catch (const std::exception& e) {
        showFailure("GetTextHeight", 5, e.what());
        return -1;
    }
}

}  // namespace qm::print
