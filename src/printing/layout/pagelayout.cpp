#include "printing/layout/pagelayout.h"

#include "foundation/messages.h"
#include "printing/layout/fonts.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace qm::print {

namespace {

constexpr double kMargin = 15;
constexpr double kEntryGap = 1;         // space after every entry
constexpr double kProcessGap = 3 + 1;   // extra space before a process heading
constexpr double kIndent = 3;           // per tree level
constexpr double kMinNameWidth = 10;    // the narrowest a tree name column gets, however deep
constexpr double kPageNumberWidth = 20; // "P. n / m" starts this far left of the right margin
const char* const kAreaSuffix = "\u3000成果一覧";

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

class Layout {
public:
    Layout(const PrintDocument& doc, const PrinterMetrics& m, CharWidths& widths, const PageRequest& req,
           LayoutSink* sink)
        : doc_(doc), w_(widths), req_(req), sink_(sink), kind_(doc.kind),
          W_(m.paperWidthMm), H_(m.paperHeightMm), d_(m.dotsPerMm > 0 ? m.dotsPerMm : 1),
          th_(textHeightMm(doc.kind)), lineMm_(widths.height() / d_), right_(W_ - kMargin),
          bodyEnd_(H_ - kMargin) {
        if (kind_ == DocKind::ErrLog) {
            // The title and the sub-title wrap; the headings, the rule and the body move
            // down by what they take beyond one line each.
            titleLines_ = lines(titleWidth(), doc_.title);
            const double belowTitle = (titleLines_ - 1) * lineMm_;
            subTitleTop_ = 20 + belowTitle;
            if (!doc_.subTitle.empty()) subTitleLines_ = lines(right_ - kMargin, doc_.subTitle);
            headingTop_ = 30 + belowTitle + std::max(subTitleLines_ - 1, 0) * lineMm_;
            ruleY_ = headingTop_ + 4.5;
            bodyTop_ = headingTop_ + 5.5;
        }
        if (isTree()) {
            int deepest = 0;
            for (const PrintRecord& r : doc_.records) deepest = std::max(deepest, static_cast<int>(r.level));
            bottoms_.assign(static_cast<size_t>(deepest) + 1, 0);
        }
    }

    int run() {
        const auto& recs = doc_.records;
        if (kind_ == DocKind::Doc && !recs.empty() && recs.front().level == 0)
            header_ = qs(recs.front().name) + QString::fromUtf8(kAreaSuffix);
        std::fill(bottoms_.begin(), bottoms_.end(), 25);
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
        if (page_ > 1) std::fill(bottoms_.begin(), bottoms_.end(), 30);
        if (!drawing()) return;
        sink_->beginPage(page_);
        const double left = kMargin;
        if (kind_ == DocKind::ErrLog) {
            DrawMultiText(left, 15, titleWidth(), doc_.title);
            if (!doc_.subTitle.empty()) DrawMultiText(left, subTitleTop_, right_ - left, doc_.subTitle);
        } else {
            text(left, 15, kind_ == DocKind::Doc ? header_ : qs(doc_.title));
        }
        text(right_ - kPageNumberWidth, 15, QStringLiteral("P. %1 / %2").arg(page_).arg(req_.pageCount));
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
                text(left, headingTop_, QStringLiteral("エラー箇所"));
                text(left + 70, headingTop_, QStringLiteral("内容"));
                rule = ruleY_;
                break;
        }
        line(left, rule, right_, rule);
    }

    void endPage() {
        if (drawing()) sink_->endPage(page_);
    }

    bool isTree() const { return kind_ == DocKind::Xml || kind_ == DocKind::File; }

    // The check result's title wraps short of the page number beside it.
    double titleWidth() const { return right_ - kPageNumberWidth - 1 - kMargin; }

    // The name column of a tree entry (the element or file name) before indenting.
    double nameColumn() const { return kind_ == DocKind::Xml ? 60 : 40; }
    // Levels indent 3 mm each until the name column would be narrower than kMinNameWidth;
    // deeper entries stay at that indent, their names wrapped inside what is left.
    int indentLevel(int level) const {
        const int cap = static_cast<int>((nameColumn() - kMinNameWidth) / kIndent);
        return std::min(level, cap);
    }
    double indentOf(int level) const { return kIndent * indentLevel(level); }
    // Where the connector of an entry at level (>= 1) runs down.
    double connectorX(int level) const { return kMargin + kIndent * (indentLevel(level) - 1) + 1.5; }

    // The tree goes on at level (an entry at that level comes before any shallower one).
    // Each step skips to the first entry shallower than the one it stands on, so a page
    // break below a long folder takes as many steps as levels, not entries.
    bool treeContinues(size_t from, int level) {
        const auto& recs = doc_.records;
        if (shallower_.empty()) {
            shallower_.assign(recs.size(), recs.size());
            std::vector<size_t> open;  // entries whose first shallower entry is still to come
            for (size_t k = 0; k < recs.size(); ++k) {
                const int l = treeLevel(recs[k].level);
                while (!open.empty() && treeLevel(recs[open.back()].level) > l) {
                    shallower_[open.back()] = k;
                    open.pop_back();
                }
                open.push_back(k);
            }
        }
        size_t k = from;
        while (k < recs.size() && treeLevel(recs[k].level) > level) k = shallower_[k];
        return k < recs.size() && treeLevel(recs[k].level) == level;
    }

    void placeEntry(size_t index, const PrintRecord& r) {
        int level = 0;
        int nameLines = 1;
        int count = 1;
        double extra = 0;
        switch (kind_) {
            case DocKind::Xml: {
                level = treeLevel(r.level);
                const int v = xmlContentWidth(W_);
                nameLines = lines(60 - indentOf(level), r.name);
                count = nameLines;
                if (!r.content.empty()) count = std::max(count, lines(v, r.content));
                if (!r.note.empty()) count = std::max(count, lines(W_ - 90 - v, r.note));
                break;
            }
            case DocKind::File: {
                level = treeLevel(r.level);
                const int c = fileContentWidth(W_);
                nameLines = lines(index == 0 ? W_ - 30 : 40 - indentOf(level), r.name);
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
                // Connectors that go on below run to the end of the body; levels past the
                // indent cap share one x, where the longest of them is drawn.
                double drawnX = -1;
                for (int i = 1; i <= level; ++i) {
                    const double x = connectorX(i);
                    if (x == drawnX || !treeContinues(index, i)) continue;
                    line(x, bottoms_[static_cast<size_t>(i - 1)], x, bodyEnd_);
                    drawnX = x;
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
            std::fill(bottoms_.begin() + level, bottoms_.end(), bottom);
        }
        y_ = top + height + kEntryGap;
        firstOnPage_ = false;
    }

    // Every level of the document has a remembered bottom (its deepest sized them).
    static int treeLevel(int level) { return std::max(level, 0); }

    void drawEntry(size_t index, const PrintRecord& r, int level, double top) {
        const double left = kMargin;
        if (isTree() && level >= 1) {
            const double x = connectorX(level);
            line(x, bottoms_[static_cast<size_t>(level - 1)], x, top + 1.5);
            line(x, top + 1.5, x + 1, top + 1.5);
        }
        switch (kind_) {
            case DocKind::Xml: {
                const int v = xmlContentWidth(W_);
                DrawMultiText(left + indentOf(level), top, 60 - indentOf(level), r.name);
                DrawMultiText(left + 60, top, v, r.content);
                DrawMultiText(left + 60 + v, top, W_ - 90 - v, r.note);
                break;
            }
            case DocKind::File: {
                const int c = fileContentWidth(W_);
                DrawMultiText(left + indentOf(level), top, index == 0 ? W_ - 30 : 40 - indentOf(level), r.name);
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
    const double d_, th_, lineMm_, right_, bodyEnd_;
    double bodyTop_ = 30;
    // The check result's header: lines of the title and sub-title, where the sub-title and
    // the headings stand and where the rule runs.
    int titleLines_ = 1, subTitleLines_ = 0;
    double subTitleTop_ = 20, headingTop_ = 30, ruleY_ = 34.5;
    int page_ = 1;
    double y_ = 0;
    bool firstOnPage_ = true;
    QString header_;
    std::vector<double> bottoms_;  // per level: the bottom a connector below hangs from
    std::vector<size_t> shallower_;  // per entry: the next entry shallower than it (or the end)
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
