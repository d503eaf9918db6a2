// The medium location dialog with a scripted drive list, and the small dialogs of the
// main window: result type, base folder (kept in a temporary settings folder), about.
#include "foundation/messages.h"
#include "gui/modal.h"
#include "gui/screens.h"
#include "workflow/browsefolder.h"
#include "workflow/desktopsettings.h"
#include "workflow/mainwindow.h"
#include "workflow/mediumlocationdialog.h"
#include "workflow/smalldialogs.h"
#include "foundation/appstate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace qm::desktop;

namespace {

void touch(const QString& path) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
}

// The scripted drive list, and the entry it gives, as each system names its drives.
#ifdef Q_OS_WIN
const char* const kDisc = "Q:\\";
const char* const kStick = "E:\\";
const char* const kStickFolder = "E:\\WORK\\";
const QString kDiscEntry = QStringLiteral("Q: [SURVEY_01]  CD/DVD ドライブ");
#else
const char* const kDisc = "/media/user/SURVEY_01";
const char* const kStick = "/mnt/usb/";
const char* const kStickFolder = "/mnt/usb/WORK/";
const QString kDiscEntry = QStringLiteral("/media/user/SURVEY_01  [SURVEY_01]");
#endif

// Where the base folder is kept: the registry on Windows, a file under the folder the test
// gives QSettings elsewhere.
bool basePathIsStored(const QTemporaryDir& tmp) {
#ifdef Q_OS_WIN
    Q_UNUSED(tmp);
    return QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software\\Quillmark"), QSettings::NativeFormat)
        .contains(QStringLiteral("BasePath"));
#else
    return QFile::exists(tmp.filePath("config/Quillmark/Quillmark.conf"));
#endif
}

}  // namespace

class LocationDialogs : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    qm::RecordingMessageSink sink;
    int browsed = 0;
    QString userBase_;

    template <class T>
    T* child(QWidget* w, const char* name) {
        T* c = w->findChild<T*>(name);
        if (!c) qFatal("no control %s", name);
        return c;
    }

private slots:
    void initTestCase() {
        initDesktopApplication();
        qm::setMessageSink(&sink);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, tmp.filePath("config"));
        setBrowseFolderHook([this](const QString&, const std::string&) {
            ++browsed;
            return std::string();
        });
        MediumLocationDialog::setVolumeSource([] {
            return std::vector<qm::PickableVolume>{{kDisc, "SURVEY_01", qm::kDriveCdRom},
                                                   {kStick, "", qm::kDriveRemovable}};
        });
        QDir d(tmp.path());
        d.mkpath("good/SURVEY");
        touch(tmp.filePath("good/INDEX_D.XML"));
        d.mkpath("noindex/SURVEY");
        d.mkpath("nosurvey");
        touch(tmp.filePath("nosurvey/INDEX_D.XML"));
    }

    void presetsSelectDriveOrFolder() {
        MediumLocationDialog dlg;
        dlg.SetMediaNum(2);
        QCOMPARE(child<QLabel>(&dlg, "lblInfo")->text(), QStringLiteral("成果2枚目の場所を指定してください。"));
        QVERIFY(child<QRadioButton>(&dlg, "optDrive")->isChecked());
        auto* drv = child<QComboBox>(&dlg, "drvCheck");
        QCOMPARE(drv->count(), 2);
        QCOMPARE(drv->itemText(0), kDiscEntry);
        dlg.SetDefaultPath(kStick);
        QCOMPARE(drv->currentIndex(), 1);
        QVERIFY(child<QRadioButton>(&dlg, "optDrive")->isChecked());
        dlg.SetDefaultPath(kStickFolder);
        QVERIFY(child<QRadioButton>(&dlg, "optFolder")->isChecked());
        QCOMPARE(child<QLineEdit>(&dlg, "txtCheckFolder")->text(), QString::fromUtf8(kStickFolder));
        QCOMPARE(browsed, 0);  // selected by the program: no browser
        dlg.SetDefaultPath(tmp.filePath("good").toStdString());
        dlg.show();
        qm::test::saveScreen(&dlg, "medium_location");
        child<QRadioButton>(&dlg, "optDrive")->click();
        child<QRadioButton>(&dlg, "optFolder")->click();  // by the user: the browser opens
        QCOMPARE(browsed, 1);
    }

    void refusalsKeepTheDialogOpen() {
        MediumLocationDialog dlg;
        dlg.show();
        auto* ok = child<QPushButton>(&dlg, "cmdOK");
        auto* text = child<QLineEdit>(&dlg, "txtCheckFolder");
        dlg.SetDefaultPath("x");
        text->clear();
        sink.shown.clear();
        const struct {
            QString text;
            const char* message;
        } cases[] = {
            {"   ", "成果ファイルの場所を指定してください。"},
            {tmp.filePath("missing"), "指定した場所は、見つかりませんでした。"},
            {tmp.filePath("nosurvey"),
             "指定したフォルダ内に、測量フォルダ(SURVEY)が見つかりません。\n\n"
             "成果の最上位フォルダ(INDEX_D.XMLが格納されている場所）を指定してください。"},
        };
        for (const auto& c : cases) {
            sink.shown.clear();
            text->setText(c.text);
            ok->click();
            QCOMPARE(sink.shown.size(), size_t(1));
            QCOMPARE(QString::fromStdString(sink.shown[0].caption), QStringLiteral("成果ファイル場所"));
            QCOMPARE(QString::fromStdString(sink.shown[0].text), QString::fromUtf8(c.message));
            QVERIFY(dlg.isVisible());
            QVERIFY(!dlg.IsOK());
        }
        // Without INDEX_D.XML the user is asked; No keeps the dialog open.
        sink.shown.clear();
        sink.answer = qm::MsgAnswer::No;
        text->setText(tmp.filePath("noindex"));
        ok->click();
        QCOMPARE(sink.shown.size(), size_t(1));
        QCOMPARE(sink.shown[0].buttons, qm::MsgButtons::YesNo);
        QVERIFY(dlg.isVisible());
        // Cancel after a refusal, and the title bar's close, answer like cancel.
        child<QPushButton>(&dlg, "cmdCancel")->click();
        QVERIFY(!dlg.IsOK());
        QVERIFY(dlg.GetCheckFolder().empty());
        dlg.show();
        dlg.close();
        QVERIFY(!dlg.IsOK());

        MediumLocationDialog::setVolumeSource([] { return std::vector<qm::PickableVolume>{}; });
        MediumLocationDialog noDrives;
        MediumLocationDialog::setVolumeSource({});
        noDrives.show();
        sink.shown.clear();
        child<QPushButton>(&noDrives, "cmdOK")->click();
        QCOMPARE(sink.shown.size(), size_t(1));
        QCOMPARE(QString::fromStdString(sink.shown[0].text), QStringLiteral("ドライブを選択してください。"));
    }

    void acceptsATrimmedFolderAfterYes() {
        MediumLocationDialog dlg;
        dlg.show();
        sink.answer = qm::MsgAnswer::Yes;
        dlg.SetDefaultPath("  " + tmp.filePath("noindex").toStdString() + "  ");
        child<QPushButton>(&dlg, "cmdOK")->click();
        QVERIFY(dlg.IsOK());
        QVERIFY(!dlg.isVisible());
        QCOMPARE(QString::fromStdString(dlg.GetCheckFolder()), QDir::toNativeSeparators(tmp.filePath("noindex") + "/"));
        sink.answer = qm::MsgAnswer::No;
    }

    void resultTypeDialog() {
        ResultTypeDialog dlg;
        dlg.show();
        QVERIFY(child<QRadioButton>(&dlg, "optChiseki")->isChecked());
        qm::test::saveScreen(&dlg, "result_type");
        child<QRadioButton>(&dlg, "optSenkou")->click();
        child<QPushButton>(&dlg, "cmdOK")->click();
        QVERIFY(dlg.IsOK());
        QCOMPARE(dlg.GetResultType(), int16_t(2));
        ResultTypeDialog cancelled;
        cancelled.show();
        cancelled.close();
        QVERIFY(!cancelled.IsOK());
    }

    void baseFolderPersistsThroughTheMainWindow() {
        userBase_ = readBasePath();
        qm::AppState app;
        app.startUp(QM_BINARY_DIR);
        app.basePath = "/srv/deliveries/";
        MainWindow w(app);
        w.show();
        // Browsing and then cancelling leaves the base folder as it was.
        setBrowseFolderHook([](const QString&, const std::string&) { return std::string("/tmp/other/"); });
        qm::test::onNextModal([this](QWidget* dlg) {
            QCOMPARE(child<QLineEdit>(dlg, "txtBasePath")->text(), QStringLiteral("/srv/deliveries/"));
            child<QPushButton>(dlg, "cmdSelCheckFolder")->click();
            QCOMPARE(child<QLineEdit>(dlg, "txtBasePath")->text(), QStringLiteral("/tmp/other/"));
            qm::test::saveScreen(dlg, "base_folder");
            child<QPushButton>(dlg, "cmdCancel")->click();
        });
        w.editSettings();
        QCOMPARE(QString::fromStdString(app.basePath), QStringLiteral("/srv/deliveries/"));
        // Cleared and confirmed: empty, and written as empty.
        writeBasePath("/old/");
        qm::test::onNextModal([this](QWidget* dlg) {
            child<QLineEdit>(dlg, "txtBasePath")->clear();
            child<QPushButton>(dlg, "cmdOK")->click();
        });
        w.editSettings();
        QVERIFY(app.basePath.empty());
        QVERIFY(basePathIsStored(tmp));
        QCOMPARE(readBasePath(), QString());
        writeBasePath("/data/基準/");
        QCOMPARE(readBasePath(), QStringLiteral("/data/基準/"));
        writeBasePath(userBase_);  // the user's own setting, where it is the registry
        setBrowseFolderHook([this](const QString&, const std::string&) {
            ++browsed;
            return std::string();
        });
    }

    void aboutBox() {
        AboutDialog about;
        about.show();
        QCOMPARE(child<QLabel>(&about, "lblVersion")->text(), QStringLiteral("Version 1.0.0"));
        QCOMPARE(child<QLabel>(&about, "lblReference")->text(),
                 QStringLiteral("本ソフトは、\n「地籍調査成果電子納品要領」　平成２９年４月版 、\n"
                                "「官民境界等先行調査成果電子納品要領」　平成２９年４月版\nを基に作製されています。"));
        QCOMPARE(child<QLabel>(&about, "lblCopyright")->text(), QStringLiteral("Orvandel"));
        qm::test::saveScreen(&about, "about");
    }

    void instanceLock() {
        auto first = acquireInstanceLock(tmp.filePath("run"));
        QVERIFY(first);
        QVERIFY(!acquireInstanceLock(tmp.filePath("run")));
        first.reset();
        QVERIFY(acquireInstanceLock(tmp.filePath("run")));
    }
};

QTEST_MAIN(LocationDialogs)
#include "test_location_dialogs.moc"
