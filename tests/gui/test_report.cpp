// The PDF report of the headless check: one document per check with findings, as many pages
// as the layout gives, every finding in its text; a clean delivery gives one page. Writing
// it changes neither the logs nor the exit status.
#include "checks/resultreport.h"
#include "layout_fixture.h"
#include "printing/layout/fonts.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace qm;
using namespace qm::test;

namespace {

struct Run {
    int status = -1;
    QString err;
};

Run check(const QStringList& args) {
    QProcess p;
    p.setProgram(QStringLiteral(QM_BINARY_DIR "/quillmark-check"));
    p.setArguments(args);
    p.start();
    p.waitForFinished(120000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

QString tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPages(const QString& path) {
    for (const QString& line : tool("pdfinfo", {path}).split('\n'))
        if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
    return -1;
}

QString squeezed(QString s) {
    s.remove(QRegularExpression(QStringLiteral("[\\s\\x{3000}]")));
    return s;
}

std::map<QString, QByteArray> logsOf(const QString& dir) {
    std::map<QString, QByteArray> out;
    for (const QString& name : QDir(dir).entryList(QDir::Files)) {
        QFile f(QDir(dir).filePath(name));
        f.open(QIODevice::ReadOnly);
        out[name] = f.readAll();
    }
    return out;
}

}  // namespace

class ReportTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void faultyDelivery() {
        QTemporaryDir dir;
        const QString sample = QStringLiteral(QM_SOURCE_DIR "/samples/faulty");
        const QString pdf = dir.filePath("report.pdf");
        QDir().mkpath(dir.filePath("with"));
        QDir().mkpath(dir.filePath("without"));
        const Run with = check({"--log-dir", dir.filePath("with"), "--report", pdf, sample});
        const Run without = check({"--log-dir", dir.filePath("without"), sample});
        QCOMPARE(with.status, 1);
        QCOMPARE(with.status, without.status);
        QCOMPARE(logsOf(dir.filePath("with")), logsOf(dir.filePath("without")));

        const RunSummary summary = readRunSummary(dir.filePath("with").toStdString() + "/", 1, 1);
        std::vector<MediumRecord> media(1);
        media[0].path = QDir(sample).canonicalPath().toStdString() + "/";
        const auto docs = reportDocuments(summary, media, media[0].path, "2026/01/01");
        QVERIFY(docs.size() >= 2);
        A4 a4;
        int pages = 0;
        for (const auto& doc : docs) pages += a4.count(doc);
        QCOMPARE(pdfPages(pdf), pages);

        // Every line the layout draws of every finding is in the PDF's text; a finding that
        // wraps is drawn as its lines, so each finding is there whole.
        const QString text = squeezed(tool("pdftotext", {"-layout", pdf, "-"}));
        size_t findings = 0;
        for (const auto& doc : docs) {
            RecordingSink sink;
            a4.record(doc, sink);
            QString drawn;
            for (const auto& t : sink.texts) {
                if (t.text.startsWith("P. ")) continue;
                QVERIFY2(text.contains(squeezed(t.text)), qPrintable(t.text));
                drawn += t.text;
            }
            for (const auto& r : doc.records) {
                ++findings;
                QVERIFY2(squeezed(drawn).contains(squeezed(QString::fromStdString(r.content))), r.content.c_str());
                QVERIFY2(squeezed(drawn).contains(squeezed(QString::fromStdString(r.name))), r.name.c_str());
            }
        }
        QVERIFY(findings >= 5);
        // Medium 1's checks in the result view's order; the whole delivery's findings last.
        for (size_t i = 0; i + 1 < docs.size(); ++i) QVERIFY(docs[i].title.find("（総合）") == std::string::npos);
        QVERIFY(docs.front().title.find("（成果1枚目）") != std::string::npos);
    }

    void cleanDeliveryGivesOnePage() {
        QTemporaryDir dir;
        const QString pdf = dir.filePath("clean.pdf");
        QDir().mkpath(dir.filePath("logs"));
        const Run run = check({"--log-dir", dir.filePath("logs"), "--report", pdf,
                               QStringLiteral(QM_SOURCE_DIR "/samples/cadastral")});
        QCOMPARE(run.status, 0);
        QCOMPARE(pdfPages(pdf), 1);
        const QString text = squeezed(tool("pdftotext", {"-layout", pdf, "-"}));
        QVERIFY(text.contains(QStringLiteral("チェックの結果、エラーは検出されませんでした。")));
        QVERIFY(text.contains(QStringLiteral("samples/cadastral")));
        QVERIFY(text.contains(QDate::currentDate().toString("yyyy/MM/dd")));

        // A report that cannot be written is said so; the run's verdict stands.
        const Run refused = check({"--log-dir", dir.filePath("logs"), "--report", dir.filePath("no/such/r.pdf"),
                                   QStringLiteral(QM_SOURCE_DIR "/samples/cadastral")});
        QCOMPARE(refused.status, 0);
        QVERIFY(refused.err.contains(QStringLiteral("PDF出力")));
    }
};

QTEST_MAIN(ReportTest)
#include "test_report.moc"
