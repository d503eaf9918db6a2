// The program's help: HTML pages in the folder "help" beside the program, shown in a
// browser window with contents, back and forward. Each window's topic is the page of its
// help context number ("13300.html"); each finding code has a page under "findings/".
//
// F1 opens the help of the active window: a window that offers the invokable method
// showContextHelp() chooses its page itself; otherwise a window with the property
// "helpContext" gets that topic (0 = the contents); otherwise the topic follows the
// window's object name (frmMain the contents, frmCheckAll 13200, frmViewFolder 13100 or,
// below frmErrorLog, 13320, frmViewXML 13330, frmViewDocList 13340, frmPreview 13400).
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

class QTextBrowser;
class QPushButton;

namespace qm::desktop {

// The help folder, ending in a separator: the one set by setHelpFolder, else "help" in the
// program's folder.
QString helpFolder();
void setHelpFolder(const QString& folder);

// Pages, relative to the help folder.
QString helpTopicPage(int contextId);      // 0 = "index.html"
QString findingHelpPage(int32_t code);     // "findings/10101.html"; parser failures "findings/xml.html"

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(const QString& folder, QWidget* owner = nullptr);

    void openPage(const QString& page);
    QTextBrowser* browser() const { return txtHelp_; }

private:
    void updateCaption();

    QString folder_;
    QTextBrowser* txtHelp_;
    QPushButton* cmdContents_;
    QPushButton* cmdBack_;
    QPushButton* cmdForward_;
    QPushButton* cmdClose_;
};

// The help window of a top-level window (created on first use, reused afterwards); null
// owner gives the program's own one. Answers null when the page is missing (the message
// has been shown).
HelpWindow* openHelpPage(QWidget* parent, const QString& page);

}  // namespace qm::desktop
