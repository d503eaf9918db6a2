// A disc image as a medium in the windows: the location dialog takes a typed or browsed
// image, the check result view shows what only an image shows, and the folder structure
// and XML views read the image; opening an entry of it with another program is refused
// with a message.
#include "checks/checkpath.h"
#include "checks/checkrun.h"
#include "checks/inspection.h"
#include "models/xmltree.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "printing/layout/fonts.h"
#include "views/checkresultview.h"
#include "views/folderview.h"
#include "views/xmlview.h"
#include "workflow/browsefolder.h"
#include "workflow/mediumlocationdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <cstdlib>

using namespace qm;
using namespace qm::desktop;

namespace {

class NoMoreMedia : public MediumLocator {
public:
    std::optional<std::string> askMedium(int, const std::string&) override { return std::nullopt; }
};

}  // namespace

class ImageViewsTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    RecordingMessageSink sink;
    MessageSink* previous = nullptr;
    QString image;

private slots:
    void initTestCase() {
        installFontSubstitutions();
        previous = setMessageSink(&sink);
        if (std::system("command -v xorriso >/dev/null 2>&1") != 0) QSKIP("xorriso is not installed");
        image = tmp.filePath("FAULTY.iso");
        const std::string cmd = "xorriso -as mkisofs -J -R -V FAULTY -o '" + image.toStdString() + "' '" +
                                QM_SOURCE_DIR + "/samples/faulty' >/dev/null 2>&1";
        QCOMPARE(std::system(cmd.c_str()), 0);
        MediumLocationDialog::setVolumeSource([] { return std::vector<PickableVolume>{}; });
        setBrowseFolderHook([](const QString&, const std::string&) { return std::string(); });
    }
    void cleanupTestCase() {
        setMessageSink(previous);
        setBrowseFolderHook({});
    }
    void init() { sink.shown.clear(); }

    void locationDialogTakesAnImage() {
        // Typed, with a separator after it as a folder would have.
        MediumLocationDialog typed;
        typed.show();
        typed.SetDefaultPath(image.toStdString() + "/");
        typed.findChild<QPushButton*>("cmdOK")->click();
        QVERIFY(typed.IsOK());
        QCOMPARE(QString::fromStdString(typed.GetCheckFolder()), image + "/");

        // Browsed: the browser answers the image file as it answers a folder.
        setBrowseFolderHook([this](const QString&, const std::string&) { return image.toStdString(); });
        MediumLocationDialog browsed;
        browsed.show();
        browsed.findChild<QPushButton*>("cmdSelCheckFolder")->click();
        QCOMPARE(browsed.findChild<QLineEdit*>("txtCheckFolder")->text(), image);
        browsed.findChild<QPushButton*>("cmdOK")->click();
        QVERIFY(browsed.IsOK());
        QCOMPARE(QString::fromStdString(browsed.GetCheckFolder()), image + "/");
        setBrowseFolderHook([](const QString&, const std::string&) { return std::string(); });

        // A file that is no image is refused with the reader's reason.
        QFile text(tmp.filePath("notes.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(QByteArray(40000, 'x'));
        text.close();
        MediumLocationDialog refused;
        refused.show();
        refused.SetDefaultPath(text.fileName().toStdString());
        sink.shown.clear();
        refused.findChild<QPushButton*>("cmdOK")->click();
        QVERIFY(!refused.IsOK());
        QCOMPARE(sink.shown.size(), size_t(1));
        QVERIFY(QString::fromStdString(sink.shown[0].text).startsWith(QStringLiteral("ディスクイメージ（ISO 9660 又は UDF）ではありません。")));
    }

    void viewsReadTheImage() {
        std::string top = image.toStdString();
        QVERIFY(CheckPath(top));
        QTemporaryDir logs;
        AppState app;
        app.settingPath = std::string(QM_BINARY_DIR) + "/Setting/";
        QVERIFY(app.useLogFolder(logs.path().toStdString()));
        CheckRunInput in;
        in.resultType = JudgeResultType(managementFile(top, "SURVEY\\SURVEY.XML"));
        QCOMPARE(in.resultType, int16_t(1));
        JudgeProcess(in.resultType, top, in.flags);
        in.handedPath = top;
        VolumeInfo volume;
        QVERIFY(GetVolumeInfo(top, volume));
        in.handedSerial = volume.serial;
        NoMoreMedia none;
        std::vector<MediumRecord> media;
        QVERIFY(runCheckAll(app, in, none, media, nullptr) >= 0);
        QCOMPARE(media.size(), size_t(1));
        QCOMPARE(media[0].driveType, int32_t(kDriveCdRom));

        // The result view: a line about the image under the medium list.
        {
            CheckResultView view(app, nullptr);
            view.SetMediaNum(1, media);
            auto* line = view.findChild<QLabel*>("lblImage");
            QVERIFY(line && line->isVisibleTo(&view));
            QVERIFY(line->text().contains(QStringLiteral("Joliet")));
            QVERIFY(line->text().contains(QStringLiteral("CD-R（700 MB）")));
            QVERIFY(line->toolTip().contains(QStringLiteral("ボリュームラベル: FAULTY")));
        }

        // The folder structure view lists the image's tree with the check's findings.
        FolderStructureView view;
        QVERIFY(view.SetTree(&app, 1, top, app.settingPath + "FileInfo_C.txt", app.logPath + folderLogName(1)));
        const FolderTree& tree = view.model()->tree();
        const int xml = tree.findRow("SURVEY\\SURVEY.XML");
        QVERIFY(xml > 0);
        QStringList launched;
        view.launcher = [&](const QString& kind, const QString& path) {
            launched << kind + " " + path;
            return true;
        };
        view.view()->setCurrentIndex(view.model()->indexOfRow(static_cast<uint32_t>(xml)));
        sink.shown.clear();
        view.cmdFileOpen_Click();
        view.cmdExp_Click();
        QVERIFY(launched.isEmpty());
        QCOMPARE(sink.shown.size(), size_t(2));
        QVERIFY(QString::fromStdString(sink.shown[0].text).contains(QStringLiteral("取り出さずに")));

        // The XML view parses the management file, its DTD read from the image.
        XmlView xmlView;
        QCOMPARE(xmlView.SetTree(&app, managementFile(top, "SURVEY\\TISEKI\\SURV_TSK.XML"),
                                 app.logPath + survTskLogName(1)),
                 XmlTree::kBuilt);
        QVERIFY(!readXmlFileText(managementFile(top, "INDEX_D.XML")).text.empty());
    }
};

QTEST_MAIN(ImageViewsTest)
#include "test_image_views.moc"
