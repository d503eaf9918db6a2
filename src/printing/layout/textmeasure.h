// Measuring and wrapping text character by character, as the page layout does it.
//
// Each character is measured alone in the font on the device that measures the layout.
// A carriage return goes back to the left edge, a line feed adds a line (keeping x), a
// tab moves to the next multiple of twice the character height, and a character that
// would pass the width starts a new line.
#pragma once

#include <QFont>
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

class QPaintDevice;

namespace qm::print {

// Widths in device units of one font on one device, each character measured once. The
// tables outlive the application object, so they keep numbers only, no font objects.
class CharWidths {
public:
    // The shared table of this font at this pixel size on a device of this resolution.
    static std::shared_ptr<CharWidths> of(const QString& family, int pixelSize, const QPaintDevice* device);

    CharWidths(const QString& family, int pixelSize);
    int width(char32_t c);
    // The character height (the font's pixel size): line height and half the tab width.
    int height() const { return height_; }
    QFont font() const;

private:
    int measure(char32_t c) const;
    QString family_;
    int height_ = 0;
    std::vector<int32_t> bmp_;  // -1 until measured
    std::unordered_map<char32_t, int> other_;
};

// A piece of a wrapped text: characters that follow each other on one line.
struct TextPiece {
    int x = 0;     // device units from the left edge
    int line = 0;  // 0-based
    QString text;
};

// Lines the text needs at the width (device units); pieces, when given, receive where the
// characters fall.
int wrapText(CharWidths& widths, std::string_view utf8, int width, std::vector<TextPiece>* pieces = nullptr);

// Number of lines of the text at the width; -1 after a failure (shown captioned
// "GetTextHeight").
int16_t GetTextHeight(CharWidths& widths, std::string_view utf8, int width);

}  // namespace qm::print
