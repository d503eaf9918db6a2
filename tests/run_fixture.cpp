#include "run_fixture.h"

#include "foundation/text.h"

namespace qmtest {

void writeCp932(const fs::path& p, const std::string& utf8) { writeBytes(p, qm::toCp932(toCrlf(utf8))); }

void buildCadastralMedium(const fs::path& top, const DeliveryOptions& o) {
    writeCp932(top / "INDEX_D.XML",
               "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<gyomudata><基礎情報><メディア番号>" +
                   std::to_string(o.mediaNo) + "</メディア番号><メディア総枚数>" + std::to_string(o.mediaCount) +
                   "</メディア総枚数></基礎情報></gyomudata>\n");
    writeCp932(top / "TIND_D01.DTD", "<!ELEMENT gyomudata (基礎情報)>\n");
    writeCp932(top / "SURVEY/SURVEY.XML",
               "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<SURVEY><基礎情報><適用要領基準>" + o.guideline +
                   "</適用要領基準><助言番号>12</助言番号>"
                   "<地籍調査成果格納用フォルダ名>TISEKI</地籍調査成果格納用フォルダ名></基礎情報>\n"
                   "<測量情報><地籍調査記録フォルダパス名>SURVEY/TISEKI/WORK/CPROC_1</地籍調査記録フォルダパス名></測量情報>\n"
                   "<測量情報><地籍調査成果フォルダパス名>SURVEY/TISEKI/DATA/CPROC_1</地籍調査成果フォルダパス名></測量情報>\n"
                   "</SURVEY>\n");
    writeCp932(top / "SURVEY/TSUR_D01.DTD", "<!ELEMENT SURVEY (基礎情報)>\n");
    writeCp932(top / "SURVEY/TISEKI/SURV_TSK.XML",
               "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<SURV_DATA>\n"
               "<地籍調査成果情報><地籍調査区分フォルダ名>TISEKI</地籍調査区分フォルダ名>"
               "<地籍調査成果区分フォルダ名>WORK</地籍調査成果区分フォルダ名><地籍調査細区分フォルダ名>CPROC_1</地籍調査細区分フォルダ名>"
               "<成果ファイル情報><地籍調査成果ファイル名>TC1A0001.XML</地籍調査成果ファイル名></成果ファイル情報></地籍調査成果情報>\n"
               "<地籍調査成果情報><地籍調査区分フォルダ名>TISEKI</地籍調査区分フォルダ名>"
               "<地籍調査成果区分フォルダ名>DATA</地籍調査成果区分フォルダ名><地籍調査細区分フォルダ名>CPROC_1</地籍調査細区分フォルダ名>"
               "<成果ファイル情報><地籍調査成果ファイル名>TC1B0001.PDF</地籍調査成果ファイル名></成果ファイル情報></地籍調査成果情報>\n"
               "</SURV_DATA>\n");
    writeCp932(top / "SURVEY/TISEKI/TISK_D01.DTD", "<!ELEMENT SURV_DATA ANY>\n");
    writeBytes(top / "SURVEY/TISEKI/WORK/CPROC_1/TC1A0001.XML", "<a/>");
    writeBytes(top / "SURVEY/TISEKI/DATA/CPROC_1/TC1B0001.PDF", "%PDF-1.4\n");
}

void buildSettingTables(const fs::path& dir) {
    writeCp932(dir / "FileInfo_C.txt",
               ";path pattern,description\n"
               "SURVEY\\TISEKI\\WORK\\CPROC_?\\TC?A####.XML,記録\n"
               "SURVEY\\TISEKI\\DATA\\CPROC_?\\TC?B####.PDF,成果\n");
    writeCp932(dir / "PdfOrder_Chk_C.txt", "; none\n");
    writeCp932(dir / "INDEX_D_CHK.txt",
               "/gyomudata,0\n/gyomudata/基礎情報,0\n"
               "/gyomudata/基礎情報/メディア番号,1,0,0,1,0\n/gyomudata/基礎情報/メディア総枚数,1,0,0,1,0\n");
    writeCp932(dir / "SURVEY_CHK_C.txt",
               "/SURVEY,0\n/SURVEY/基礎情報,0\n/SURVEY/基礎情報/適用要領基準,8,1,30,1,0\n"
               "/SURVEY/基礎情報/助言番号,8\n/SURVEY/基礎情報/地籍調査成果格納用フォルダ名,10\n"
               "/SURVEY/測量情報,0\n/SURVEY/測量情報/地籍調査記録フォルダパス名,10\n"
               "/SURVEY/測量情報/地籍調査成果フォルダパス名,10\n");
    writeCp932(dir / "SURV_TSK_CHK_C.txt",
               "/SURV_DATA,0\n/SURV_DATA/地籍調査成果情報,0\n"
               "/SURV_DATA/地籍調査成果情報/地籍調査区分フォルダ名,10\n"
               "/SURV_DATA/地籍調査成果情報/地籍調査成果区分フォルダ名,10\n"
               "/SURV_DATA/地籍調査成果情報/地籍調査細区分フォルダ名,10\n"
               "/SURV_DATA/地籍調査成果情報/成果ファイル情報,0\n"
               "/SURV_DATA/地籍調査成果情報/成果ファイル情報/地籍調査成果ファイル名,11\n");
}

}  // namespace qmtest
