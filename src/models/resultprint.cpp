#include "models/resultprint.h"

#include "foundation/platform.h"

namespace qm {

std::string checkPathTail(const std::string& storedPath) {
    const char sep = nativeSeparator();
    if (storedPath.size() < 2) return storedPath;
    const size_t at = storedPath.rfind(sep, storedPath.size() - 2);
    return at == std::string::npos ? storedPath : storedPath.substr(at + 1);
}

print::PrintDocument checkResultDocument(const MediumResult& medium, size_t typeIndex,
                                         const std::string& storedPath) {
    print::PrintDocument doc;
    doc.kind = print::DocKind::ErrLog;
    const CheckTypeInfo& info = kCheckTypes.at(typeIndex);
    doc.title = info.printTitle;
    if (medium.number != 0) {
        doc.title += "\u3000（成果" + std::to_string(medium.number) + "枚目）";
        const std::string tail = checkPathTail(storedPath);
        const std::string key = info.key;
        if (key == "Folder")
            doc.subTitle = "チェック場所 " + tail;
        else if (key == "Index")
            doc.subTitle = "チェックファイル " + tail + "INDEX_D.XML";
        else if (key == "Survey")
            doc.subTitle = "チェックファイル " + joinRel(tail, "SURVEY\\SURVEY.XML");
        else
            doc.subTitle = "チェックファイル " + joinRel(tail, "SURVEY\\TISEKI\\SURV_TSK.XML");
    } else {
        doc.title += "\u3000（総合）";
    }
    for (const CheckTypeResult& t : medium.types) {
        if (t.key != info.key) continue;
        // A check that could not be made says so first, as the result view lists it.
        if (!t.failure.empty()) {
            print::PrintRecord r;
            r.content = t.failure;
            doc.records.push_back(std::move(r));
        }
        for (const LoggedFinding& f : t.findings) {
            print::PrintRecord r;
            r.name = f.location();
            r.content = f.message;
            doc.records.push_back(std::move(r));
        }
    }
    return doc;
}

}  // namespace qm
