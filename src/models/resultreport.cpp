#include "models/resultreport.h"

#include "checks/imagefacts.h"
#include "models/resultprint.h"

namespace qm {

std::vector<print::PrintDocument> reportDocuments(const RunSummary& summary, const std::vector<MediumRecord>& media,
                                                  const std::string& deliveryFolder, const std::string& date) {
    std::vector<print::PrintDocument> docs;
    auto emit = [&](const MediumResult& m) {
        const std::string stored =
            m.number >= 1 && m.number <= static_cast<int>(media.size()) ? media[m.number - 1].path : std::string();
        // In the order of the check types, whatever order the medium holds them in. A check
        // that could not be made is reported like one with findings: it is no clean result.
        for (size_t k = 0; k < kCheckTypes.size(); ++k)
            for (const CheckTypeResult& t : m.types)
                if (t.key == kCheckTypes[k].key && (!t.findings.empty() || !t.failure.empty())) {
                    docs.push_back(checkResultDocument(m, k, stored));
                    break;
                }
    };
    // The whole delivery comes last whatever order the summary holds.
    for (const MediumResult& m : summary.media)
        if (m.number != 0) emit(m);
    for (const MediumResult& m : summary.media)
        if (m.number == 0) emit(m);
    if (docs.empty()) {
        print::PrintDocument doc;
        doc.kind = print::DocKind::ErrLog;
        doc.title = "成果チェック結果";
        doc.subTitle = "チェック場所 " + deliveryFolder + "\u3000\u3000チェック日 " + date;
        print::PrintRecord r;
        r.content = "チェックの結果、エラーは検出されませんでした。";
        doc.records.push_back(std::move(r));
        docs.push_back(std::move(doc));
    }
    // What only an image shows, one document per medium given as a disc image.
    for (size_t i = 0; i < media.size(); ++i) {
        const auto facts = imageFactsOf(media[i].path, static_cast<int>(i + 1));
        if (!facts) continue;
        print::PrintDocument doc;
        doc.kind = print::DocKind::ErrLog;
        doc.title = "ディスクイメージ";
        doc.subTitle = "成果" + std::to_string(i + 1) + "枚目\u3000\u3000" + facts->imagePath;
        for (const ImageFactRow& row : imageFactRows(*facts)) {
            print::PrintRecord r;
            r.name = row.label;
            r.content = row.text;
            doc.records.push_back(std::move(r));
        }
        docs.push_back(std::move(doc));
    }
    return docs;
}

}  // namespace qm
