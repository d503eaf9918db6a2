// The window the program starts with: check a delivery, or view one without a check.
#pragma once

#include <QMainWindow>

class QLabel;
class QPushButton;
class QToolButton;

namespace qm {
struct AppState;
}

namespace qm::desktop {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // app has been started up (folders, base folder, dates).
    explicit MainWindow(AppState& app, QWidget* parent = nullptr);

    // The guidelines this program follows, as the window lists them.
    static QString guidelinesText();

public slots:
    void checkDelivery();  // 成果チェック
    void viewDelivery();   // 成果参照
    void editSettings();   // 環境設定
    void showAbout();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setBusy(bool busy);

    AppState& app_;
    QWidget* fraMenu_;
    QToolButton* cmdCheck_;
    QToolButton* cmdViewFolder_;
    QPushButton* cmdExit_;
    QWidget* fraInfo_;
    QLabel* lblInfo_;
};

}  // namespace qm::desktop
