// The small dialogs of the main window: the result type when SURVEY.XML does not tell
// it, the base folder setting, and the about box.
#pragma once

#include <QDialog>

#include <cstdint>

class QLineEdit;
class QRadioButton;

namespace qm::desktop {

class ResultTypeDialog : public QDialog {
    Q_OBJECT
public:
    explicit ResultTypeDialog(QWidget* parent = nullptr);
    bool IsOK() const { return ok_; }
    int16_t GetResultType() const { return resultType_; }

public slots:
    void reject() override;

private:
    void onOk();
    QRadioButton* optChiseki_;
    QRadioButton* optSenkou_;
    bool ok_ = false;
    int16_t resultType_ = 0;
};

class BaseFolderDialog : public QDialog {
    Q_OBJECT
public:
    explicit BaseFolderDialog(QWidget* parent = nullptr);
    void SetBasePath(const QString& path);
    bool IsOK() const { return ok_; }
    QString GetBasePath() const { return basePath_; }

public slots:
    void reject() override;

private:
    QLineEdit* txtBasePath_;
    bool ok_ = false;
    QString basePath_;
};

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    static QString versionText();  // "Version 1.0.0"
    static QString referenceText();
};

}  // namespace qm::desktop
