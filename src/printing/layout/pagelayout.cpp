#include "printing/layout/pagelayout.h"

#include "foundation/messages.h"
#include "printing/layout/fonts.h"

#include <algorithm>
#include <array>
#include <exception>
#include <vector>

namespace qm::print {

namespace {

constexpr double kMargin = 15;
constexpr double kEntryGap = 1;         // space after every entry
constexpr double kProcessGap = 3 + 1;   // extra space before a process heading
constexpr int kTreeLevels = 21;         // remembered bottoms for levels 0..20
const char* const kAreaSuffix = "\u3000成果一覧";

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

class Layout {
public:
    Layout(const PrintDocument& doc, const PrinterMetrics& m, CharWidths& widths, const PageRequest& req,
           LayoutSink* sink)
        : doc_(doc), w_(widths), req_(req), sink_(sink), kind_(doc.kind),
          W_(m.paperWidthMm), H_(m.paperHeightMm), d_(m.dotsPerMm > 0 ? m.dotsPerMm : 1),
          th_(textHeightMm(doc.kind)), lineMm_(widths.height() / d_), right_(W_ - kMargin),
          bodyEnd_(H_ - kMargin), bodyTop_(doc.kind == DocKind::ErrLog ? 35.5 : 30) {}

    int run() {
        const auto& recs = doc_.records;
        if (kind_ == DocKind::Doc && !recs.empty() && recs.front().level == 0)
            header_ = qs(recs.front().name) + QString::fromUtf8(kAreaSuffix);
        bottoms_.fill(25);
        startPage();
        for (size_t i = 0; i < recs.size(); ++i) {
            const PrintRecord& r = recs[i];
            if (kind_ == DocKind::Doc && r.level == 0) {
                if (i == 0) continue;
                // An area heading starts a page headed by its text.
                endPage();
                header_ = qs(r.name) + QString::fromUtf8(kAreaSuffix);
                ++page_;
                startPage();
                continue;
            }
            placeEntry(i, r);
        }
        endPage();
        return page_;
    }

private:
    bool drawing() const { return sink_ && page_ >= req_.first && page_ <= req_.last; }
    int units(double mm) const { return nearest(mm * d_); }

    void text(double x, double y, const QString& s) {
        if (!s.isEmpty()) sink_->text(x, y, s);
    }
    void line(double x1, double y1, double x2, double y2) { sink_->line(x1, y1, x2, y2); }

    // Wrapped text with its top left corner at (x, y) and width in millimetres, each piece
    // where its characters fall; answers the height used.
    double DrawMultiText(double x, double y, double widthMm, const std::string& s) {
        pieces_.clear();
        const int lines = wrapText(w_, s, units(widthMm), &pieces_);
        for (const TextPiece& p : pieces_) text(x + p.x / d_, y + p.line * lineMm_, p.text);
        return lines * lineMm_;
    }
    int lines(double widthMm, const std::string& s) { return wrapText(w_, s, units(widthMm)); }

    void startPage() {
        firstOnPage_ = true;
        y_ = bodyTop_;
        if (page_ > 1) bottoms_.fill(30);
        if (!drawing()) return;
        sink_->beginPage(page_);
        const double left = kMargin;
        if (kind_ == DocKind::ErrLog) {
            DrawMultiText(left, 15, right_ - left, doc_.title);
            if (!doc_.subTitle.empty()) DrawMultiText(left, 20, right_ - left, doc_.subTitle);
        } else {
            text(left, 15, kind_ == DocKind::Doc ? header_ : qs(doc_.title));
        }
        text(right_ - 20, 15, QStringLiteral("P. %1 / %2").arg(page_).arg(req_.pageCount));
        double rule = 29;
        switch (kind_) {
            case DocKind::Xml: {
                const int v = xmlContentWidth(W_);
                text(left, 25, QStringLiteral("要素"));
                text(left + 60, 25, QStringLiteral("内容"));
                text(left + 60 + v, 25, QStringLiteral("備考"));
                break;
            }
            case DocKind::File: {
                const int c = fileContentWidth(W_);
                text(left, 25, QStringLiteral("ファイル"));
                text(left + 40, 25, QStringLiteral("更新日時"));
                text(left + 70, 25, QStringLiteral("内容"));
                text(left + 70 + c, 25, QStringLiteral("備考"));
                break;
            }
            case DocKind::Doc:
                text(left, 25, QStringLiteral("有無"));
                text(left + 10, 25, QStringLiteral("工程・成果"));
                break;
            case DocKind::ErrLog:
                text(left, 30, QStringLiteral("エラー箇所"));
                text(left + 70, 30, QStringLiteral("内容"));
                rule = 34.5;
                break;
        }
        line(left, rule, right_, rule);
    }

    void endPage() {
        if (drawing()) sink_->endPage(page_);
    }

    bool isTree() const { return kind_ == DocKind::Xml || kind_ == DocKind::File; }

    // The tree goes on at level (an entry at that level comes before any shallower one).
    bool treeContinues(size_t from, int level) const {
        for (size_t k = from; k < doc_.records.size(); ++k) {
            const int l = doc_.records[k].level;
            if (l < level) return false;
            if (l == level) return true;
        }
        return false;
    }

    void placeEntry(size_t index, const PrintRecord& r) {
        const double left = kMargin;
        int level = 0;
        int nameLines = 1;
        int count = 1;
        double extra = 0;
        switch (kind_) {
            case DocKind::Xml: {
                level = checkedLevel(r.level);
                const int v = xmlContentWidth(W_);
                nameLines = lines(60 - 3 * level, r.name);
                count = nameLines;
                if (!r.content.empty()) count = std::max(count, lines(v, r.content));
                if (!r.note.empty()) count = std::max(count, lines(W_ - 90 - v, r.note));
                break;
            }
            case DocKind::File: {
                level = checkedLevel(r.level);
                const int c = fileContentWidth(W_);
                nameLines = lines(index == 0 ? W_ - 30 : 40 - 3 * level, r.name);
                count = nameLines;
                if (!r.content.empty()) count = std::max(count, lines(c, r.content));
                if (!r.note.empty()) count = std::max(count, lines(W_ - 100 - c, r.note));
                break;
            }
            case DocKind::Doc: {
                const int k = r.level;
                count = lines(100 - 3 * k, r.name);
                if (!r.mark.empty()) count = std::max(count, lines(nearest((W_ - 130) / 2.0), r.mark));
                if (k == 1 && !firstOnPage_) extra = kProcessGap;
                break;
            }
            case DocKind::ErrLog: {
                count = 0;
                if (!r.name.empty()) count = lines(70, r.name);
                if (!r.content.empty()) count = std::max(count, lines(W_ - 30 - 70, r.content));
                count = std::max(count, 1);
                break;
            }
        }
        double top = y_ + extra;
        const double height = count * th_;
        if (!firstOnPage_ && top + height > bodyEnd_) {
            if (isTree() && drawing()) {
                // Connectors that go on below run to the end of the body.
                for (int i = 1; i <= level; ++i)
                    if (treeContinues(index, i)) {
                        const double x = left + 3 * (i - 1) + 1.5;
                        line(x, bottoms_[i - 1], x, bodyEnd_);
                    }
            }
            endPage();
            ++page_;
            startPage();
            top = y_;
        }
        if (drawing()) drawEntry(index, r, level, top);
        if (isTree()) {
            const double bottom = top + nameLines * th_ + kEntryGap;
            for (int i = level; i < kTreeLevels; ++i) bottoms_[i] = bottom;
        }
        y_ = top + height + kEntryGap;
        firstOnPage_ = false;
    }

    int checkedLevel(int level) const {
        // A connector hangs from the bottom remembered for the level above.
        if (level < 0 || level > kTreeLevels) throw LayoutFailure{9, "インデックスが有効範囲にありません。"};
        return level;
    }

    void drawEntry(size_t index, const PrintRecord& r, int level, double top) {
        const double left = kMargin;
        if (isTree() && level >= 1) {
            const double x = left + 3 * (level - 1) + 1.5;
            line(x, bottoms_[level - 1], x, top + 1.5);
            line(x, top + 1.5, x + 1, top + 1.5);
        }
        switch (kind_) {
            case DocKind::Xml: {
                const int v = xmlContentWidth(W_);
                DrawMultiText(left + 3 * level, top, 60 - 3 * level, r.name);
                DrawMultiText(left + 60, top, v, r.content);
                DrawMultiText(left + 60 + v, top, W_ - 90 - v, r.note);
                break;
            }
            case DocKind::File: {
                const int c = fileContentWidth(W_);
                DrawMultiText(left + 3 * level, top, index == 0 ? W_ - 30 : 40 - 3 * level, r.name);
                text(left + 40, top, qs(r.time));
                DrawMultiText(left + 70, top, c, r.content);
                DrawMultiText(left + 70 + c, top, W_ - 100 - c, r.note);
                break;
            }
            case DocKind::Doc:
                text(left + 10 + 3 * r.level, top, qs(r.name));
                DrawMultiText(left, top, nearest((W_ - 130) / 2.0), r.mark);
                break;
            case DocKind::ErrLog:
                DrawMultiText(left, top, 70, r.name);
                DrawMultiText(left + 70, top, W_ - 30 - 70, r.content);
                break;
        }
    }

    const PrintDocument& doc_;
    CharWidths& w_;
    const PageRequest& req_;
    LayoutSink* sink_;
    const DocKind kind_;
    const int W_, H_;
    const double d_, th_, lineMm_, right_, bodyEnd_, bodyTop_;
    int page_ = 1;
    double y_ = 0;
    bool firstOnPage_ = true;
    QString header_;
    std::array<double, kTreeLevels> bottoms_{};
    std::vector<TextPiece> pieces_;
};

const char* kindSuffix(DocKind kind) {
    switch (kind) {
        case DocKind::Xml: return "Xml";
        case DocKind::File: return "File";
        case DocKind::Doc: return "Doc";
        case DocKind::ErrLog: return "ErrLog";
    }
    return "";
}

}  // namespace

double textHeightMm(DocKind kind) { return kind == DocKind::ErrLog ? 3.5 : 3.0; }

int fontPixelSize(DocKind kind, double dotsPerMm) { return nearest(dotsPerMm * textHeightMm(kind)); }

std::shared_ptr<CharWidths> kindWidths(DocKind kind, const PrinterMetrics& m, const QPaintDevice* device) {
    return CharWidths::of(kGothic, fontPixelSize(kind, m.dotsPerMm), device);
}

int xmlContentWidth(int paperWidthMm) { return nearest((paperWidthMm - 90) / 2.0); }
int fileContentWidth(int paperWidthMm) { return nearest((paperWidthMm - 100) / 2.0); }

int layoutDocument(const PrintDocument& doc, const PrinterMetrics& m, CharWidths& widths,
                   const PageRequest& request, LayoutSink* sink) {
    return Layout(doc, m, widths, request, sink).run();
}

std::string routineName(const char* prefix, DocKind kind) { return std::string(prefix) + kindSuffix(kind); }

namespace {
template <class F>
int guarded(const std::string& routine, F&& f) {
    try {
        return f();
    } catch (const LayoutFailure& e) {
        showFailure(routine, e.number, e.description);
    } catch (const std::bad_alloc&) {
        showFailure(routine, 7, "メモリが不足しています。");
    } catch (const std::exception& e) {
        showFailure(routine, 5, e.what());
    }
    return -1;
}
}  // namespace

int countPages(const PrintDocument& doc, const PrinterMetrics& m, CharWidths& widths) {
    return guarded(routineName("countPage_", doc.kind), [&] { return layoutDocument(doc, m, widths); });
}

int drawPages(const char* routinePrefix, const PrintDocument& doc, const PrinterMetrics& m, CharWidths& widths,
              const PageRequest& request, LayoutSink& sink) {
    return guarded(routineName(routinePrefix, doc.kind),
                   [&] { return layoutDocument(doc, m, widths, request, &sink); });
}

}  // namespace qm::print
