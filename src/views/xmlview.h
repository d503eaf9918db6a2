// The XML view of a management file (frmViewXML): its elements, attributes and document
// type as an outline, with the element check's findings beside the elements; and the
// read-only text window for a file that does not load as XML.
#pragma once

#include "models/xmltree.h"
#include "views/outlinemodel.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QTreeView;

namespace qm { struct AppState; }

namespace qm::desktop {

class XmlTreeModel : public OutlineModel {
    Q_OBJECT
public:
    enum Column { Element, Value, Note, XPath, NodeType, ColumnCount };
    explicit XmlTreeModel(QObject* parent = nullptr) : OutlineModel(parent) {}

    XmlTree& tree() { return tree_; }
    const XmlTree& tree() const { return tree_; }
    void reset() { beginResetModel(); endResetModel(); }

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

protected:
    const OutlineIndex* outline() const override { return &tree_.outline(); }
    uint32_t parentOf(uint32_t row) const override { return tree_.rows()[row].parent; }
    size_t rowTotal() const override { return tree_.rows().size(); }

private:
    XmlTree tree_;
};

class XmlView : public QDialog {
    Q_OBJECT
public:
    explicit XmlView(QWidget* parent = nullptr);

    // XmlTree's answers: 0 built, 1 missing, 2 not XML, -1 stopped.
    int16_t SetTree(AppState* app, const std::string& xmlFile, const std::string& logFile);

    XmlTreeModel* model() const { return model_; }
    QTreeView* view() const { return view_; }

public slots:
    void cmdPrint_Click();
    void cmdHelp_Click();

private:
    XmlTreeModel* model_;
    QTreeView* view_;
};

// Shows a file that did not load as XML, decoded as it declares, with the parser's reason
// and the line it names highlighted.
class XmlTextView : public QDialog {
    Q_OBJECT
public:
    XmlTextView(const std::string& file, const XmlParseError& error, QWidget* parent = nullptr);
    QPlainTextEdit* text() const { return text_; }
    int highlightedLine() const { return line_; }

private:
    QPlainTextEdit* text_;
    int line_ = 0;
};

// Captions of the management files: 0 INDEX_D.XML, 1 SURVEY.XML, 2 SURV_TSK.XML.
QString managementFileCaption(int which);

}  // namespace qm::desktop
