// The folder structure view of one medium (frmViewFolder): every folder and file with its
// time, description and the folder check's findings, as an outline.
#pragma once

#include "models/foldertree.h"
#include "views/outlinemodel.h"

#include <QDialog>
#include <QFileIconProvider>
#include <QHash>
#include <QIcon>

#include <functional>

class QLabel;
class QPushButton;
class QTreeView;

namespace qm { struct AppState; }

namespace qm::desktop {

class FolderTreeModel : public OutlineModel {
    Q_OBJECT
public:
    enum Column { Name, Time, Description, Messages, RelPath, Kind, ColumnCount };
    explicit FolderTreeModel(QObject* parent = nullptr) : OutlineModel(parent) {}

    FolderTree& tree() { return tree_; }
    const FolderTree& tree() const { return tree_; }
    // Call after the tree was (re)built.
    void reset() { beginResetModel(); endResetModel(); }

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

protected:
    const OutlineIndex* outline() const override { return &tree_.outline(); }
    uint32_t parentOf(uint32_t row) const override { return tree_.rows()[row].parent; }
    size_t rowTotal() const override { return tree_.rows().size(); }

private:
    QIcon iconFor(const FolderRow& row) const;
    FolderTree tree_;
    QFileIconProvider icons_;
    mutable QHash<QString, QIcon> iconCache_;
};

// The box text when nothing could show a folder (no file manager, no launcher).
extern const char* const kNoFileManager;

class FolderStructureView : public QDialog {
    Q_OBJECT
public:
    explicit FolderStructureView(QWidget* parent = nullptr);

    // Builds the tree (the window is not shown). False when the walk was stopped.
    bool SetTree(AppState* app, int16_t resultType, const std::string& path, const std::string& fileInfo,
                 const std::string& logFile);

    FolderTreeModel* model() const { return model_; }
    QTreeView* view() const { return view_; }
    // The selected row of the engine's list (the medium row when nothing is selected).
    uint32_t selectedRow() const;

    // How a folder or file is handed to the desktop; tests replace it. kind: "explore"
    // (a folder), "select" (a file in its folder) or "open" (a file). Answers false when
    // nothing could take it: a folder or file to show then gets a box saying that no
    // program to show it was found.
    std::function<bool(const QString& kind, const QString& path)> launcher;

public slots:
    void cmdExp_Click();
    void cmdFileOpen_Click();
    void cmdPrint_Click();
    void cmdHelp_Click();

private:
    bool explore(const std::string& native, bool isFolder, const char* caption);
    static bool launchDefault(const QString& kind, const QString& path);

    FolderTreeModel* model_;
    QTreeView* view_;
    QLabel* lblResult_;
    QLabel* lblHidden_;
    QLabel* lblSystem_;
};

}  // namespace qm::desktop
