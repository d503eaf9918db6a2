// The PDF report of the headless check: one document per check with findings, as many pages
// as the layout gives, every finding in its text; a clean delivery gives one page. Writing
// it changes neither the logs nor the exit status.
#include "models/resultreport.h"
#include "layout_fixture.h"
#include "printing/layout/fonts.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <QStandardPaths>

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>

using namespace qm;
using namespace qm::test;

namespace {

struct Run {
    int status = -1;
    QString err;
};

Run check(const QStringList& args, const QString& workDir = {}, const std::function<void()>& inChild = {}) {
    QProcess p;
    p.setProgram(QStringLiteral(QM_BINARY_DIR "/quillmark-check"));
    p.setArguments(args);
    if (!workDir.isEmpty()) p.setWorkingDirectory(workDir);
    if (inChild) p.setChildProcessModifier(inChild);
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

// Every file below dir with its bytes.
std::map<QString, QByteArray> tree(const QString& dir) {
    std::map<QString, QByteArray> out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        f.open(QIODevice::ReadOnly);
        out[QDir(dir).relativeFilePath(f.fileName())] = f.readAll();
    }
    return out;
}

QString copyOfSample(const QTemporaryDir& dir, const QString& name) {
    std::error_code ec;
    std::filesystem::copy(QM_SOURCE_DIR "/samples/cadastral", dir.filePath(name).toStdString(),
                          std::filesystem::copy_options::recursive, ec);
    return ec ? QString() : dir.filePath(name);
}

// Whether a child can give up root's power to write anywhere (a container may not allow it).
bool canDropWritePower() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) == 0 ? 0 : 1);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
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

    // A report on a medium is refused before anything runs, however its place is spelled:
    // exit 2, a message naming the path, the medium and the log folder untouched.
    void reportNeverGoesOntoAMedium() {
        QTemporaryDir dir;
        const QString medium = copyOfSample(dir, "delivery");
        const QString second = copyOfSample(dir, "delivery2");
        QVERIFY(!medium.isEmpty() && !second.isEmpty());
        QVERIFY(QDir().mkpath(dir.filePath("logs")) && QDir().mkpath(dir.filePath("out")));
        QVERIFY(QFile::link(medium, dir.filePath("alias")));
        QFile marker(dir.filePath("logs/FolderCheck_001.log"));  // a run would clear it first
        QVERIFY(marker.open(QIODevice::WriteOnly) && marker.write("earlier") == 7);
        marker.close();
        const auto media = tree(medium), media2 = tree(second), logs = tree(dir.filePath("logs"));
        QVERIFY(media.count("SURVEY/SURVEY.XML"));

        struct Case {
            QString report;
            QString workDir;
            QStringList folders;
        };
        const Case cases[] = {
            {medium + "/SURVEY/SURVEY.XML", {}, {medium}},
            {dir.filePath("out/../delivery/check.pdf"), {}, {medium}},
            {dir.filePath("alias/SURVEY/new/r.pdf"), {}, {medium + "/"}},
            {"check.pdf", medium, {"."}},
            {second + "/x.pdf", {}, {medium, second}},
        };
        for (const Case& c : cases) {
            const Run run = check(QStringList{"--log-dir", dir.filePath("logs"), "--report", c.report} + c.folders, c.workDir);
            QCOMPARE(run.status, 2);
            QVERIFY2(run.err.contains(QStringLiteral("PDF出力")) && run.err.contains(c.report), qPrintable(run.err));
            QVERIFY2(run.err.contains(QStringLiteral("成果メディアの中")), qPrintable(run.err));
            QVERIFY(tree(medium) == media && tree(second) == media2);
            QVERIFY(tree(dir.filePath("logs")) == logs);
        }
        // A disc image given as a medium is a file: the report goes neither over it nor below it.
        if (!QStandardPaths::findExecutable(QStringLiteral("xorriso")).isEmpty()) {
            const QString iso = dir.filePath("out/disc.iso");
            QCOMPARE(QProcess::execute(QStringLiteral("xorriso"),
                                       {"-as", "mkisofs", "-quiet", "-J", "-o", iso, medium}), 0);
            QFile image(iso);
            QVERIFY(image.open(QIODevice::ReadOnly));
            const QByteArray bytes = image.readAll();
            image.close();
            for (const QString& report : {iso, iso + "/r.pdf", dir.filePath("out/../out/disc.iso")}) {
                const Run run = check({"--log-dir", dir.filePath("logs"), "--report", report, iso});
                QCOMPARE(run.status, 2);
                QVERIFY(image.open(QIODevice::ReadOnly));
                QVERIFY2(image.readAll() == bytes, qPrintable(report));
                image.close();
            }
        }
        // Beside the medium is fine.
        QCOMPARE(check({"--log-dir", dir.filePath("logs"), "--report", dir.filePath("out/r.pdf"), medium}).status, 0);
        QCOMPARE(pdfPages(dir.filePath("out/r.pdf")), 1);
    }

    // The report goes through a temporary file beside it: a folder it cannot write to gets
    // nothing, and a write that fails on the way keeps the earlier report whole.
    void reportIsWrittenWholeOrNotAtAll() {
        QTemporaryDir dir;
        const QString sample = QStringLiteral(QM_SOURCE_DIR "/samples/cadastral");
        QVERIFY(QDir().mkpath(dir.filePath("logs")) && QDir().mkpath(dir.filePath("out")));
        const QString earlier = dir.filePath("out/report.pdf");
        QFile f(earlier);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("the earlier report") == 18);
        f.close();
        const Run cut = check({"--log-dir", dir.filePath("logs"), "--report", earlier, sample}, {}, [] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit small {4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &small);
        });
        QCOMPARE(cut.status, 0);
        QVERIFY2(cut.err.contains(QStringLiteral("PDF出力")), qPrintable(cut.err));
        QCOMPARE(tree(dir.filePath("out")), (std::map<QString, QByteArray>{{"report.pdf", "the earlier report"}}));

        const bool root = ::geteuid() == 0;
        if (root && !canDropWritePower()) QSKIP("root cannot give up writing everywhere here");
        QVERIFY(QDir().mkpath(dir.filePath("closed")));
        QVERIFY(QFile::setPermissions(dir.filePath("closed"), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                                 QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        const Run closed = check({"--log-dir", dir.filePath("logs"), "--report", dir.filePath("closed/r.pdf"), sample}, {},
                                 [root] {
                                     if (root) ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
                                 });
        QFile::setPermissions(dir.filePath("closed"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(closed.status, 0);
        QVERIFY2(closed.err.contains(QStringLiteral("PDF出力")), qPrintable(closed.err));
        QVERIFY(tree(dir.filePath("closed")).empty());
    }
};

QTEST_MAIN(ReportTest)
#include "test_report.moc"
