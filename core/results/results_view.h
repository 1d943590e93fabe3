// The results of an analysis as the user browses them: the folder tree, the
// rows of the listed folder, sorting, navigation, the check-box selection
// that decides what is recovered, and renaming. Front ends draw it; the
// copy engine reads the checked nodes and the items' marks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "results/results_context.h"
#include "results/results_tree.h"

namespace dravik::results {

// What a view of the results learns after each action, so that it redraws
// only what changed: check and bold states of the tree below and above a
// node, the rows' checks, or a new listing.
class ResultsListener {
public:
    virtual ~ResultsListener() = default;
    // Nodes in `node`'s subtree and its ancestors may have changed their
    // check or bold state (the whole tree for the root).
    virtual void NodesChanged(NodeHandle node) = 0;
    // The rows' checks (and texts, after a rename) may have changed.
    virtual void RowsChanged() = 0;
    // The list now shows another folder, or its rows were sorted.
    virtual void RowsReset() = 0;
};

struct Row {
    analysis::FolderItem* folder = nullptr;  // a folder row
    analysis::FileItem* file = nullptr;      // a file row
    bool checked = false;
    bool IsFolder() const { return folder != nullptr; }
};

enum Column : int { kName = 0, kType, kSize, kModified, kCreated, kAccessed, kId, kColumnCount };

// Column headers of the file list.
const char* ColumnHeader(int column);

class ResultsView {
public:
    explicit ResultsView(const ResultsContext& ctx);

    // Builds the tree of the current volume and lists its root folder.
    void Open(const std::function<void(int)>& progress = {});
    bool Ntfs() const { return ntfs_; }
    ResultsTree& Tree() { return tree_; }
    const ResultsTree& Tree() const { return tree_; }
    // The item lists the view shows.
    analysis::ItemLists& Items();

    // ---- the list ----
    // Lists folder `number`: its folders of the current volume sorted by
    // name, then its files in list order. Nothing happens when there are no
    // items at all.
    void ShowFolder(std::uint32_t number);
    const std::vector<Row>& Rows() const { return rows_; }
    std::uint32_t ListedFolder() const { return listedFolder_; }
    NodeHandle ListedNode() const { return listedNode_; }
    std::string CellText(const Row& row, int column) const;
    // A header click: toggles the direction (so the first click sorts
    // descending) and sorts by `column`.
    void SortBy(int column);
    // < 0, 0, > 0 for ascending order of `column`.
    int CompareRows(const Row& a, const Row& b, int column) const;

    // ---- navigation ----
    // A click on a node: its expansion toggles and, unless it is listed
    // already, its folder is listed.
    void ClickNode(NodeHandle node);
    // Double-click on a folder row: its node is listed, it and its parent
    // expanded. Returns false for a file row (the front end previews it).
    bool OpenRow(std::size_t index);
    // The same for a folder's node: it and its parent expanded, it listed.
    void OpenFolder(NodeHandle node);
    // The parent of the listed node.
    void Up();

    // ---- selection ----
    // A click on a node's check box (or Space on it).
    void ToggleNode(NodeHandle node);
    // A row's check box changed to `checked`.
    void SetRowChecked(std::size_t index, bool checked);
    // True when a folder of the current volume or a file directly below the
    // node's folder is marked; when none is, the node's own folder is
    // unmarked.
    bool HasSelectedChild(NodeHandle node);
    // What a check or uncheck of a folder row does, for the search results
    // too: the folder's mark, its node and subtree, its files, its ancestors.
    void SetFolderChecked(analysis::FolderItem& folder, bool checked);
    // What a file row's check does, with `listed` as the file's folder node.
    void SetFileChecked(analysis::FileItem& file, bool checked, NodeHandle listed);
    // Rows take their items' marks again, after the marks changed elsewhere
    // (the search results).
    void RefreshRowChecks();

    // ---- renaming ----
    // An empty text keeps the item's name (the row shows it again). Returns
    // whether the record's name changed.
    bool RenameRow(std::size_t index, const std::u16string& text);
    bool RenameNode(NodeHandle node, const std::u16string& text);

    // The file-pass of the select and deselect workers runs here; the
    // callback gets files done x 100 / files (for the status line).
    void SetSelectProgress(std::function<void(int)> progress) { selectProgress_ = std::move(progress); }

    // Tells the front end what a check, a rename or a listing changed.
    void SetListener(ResultsListener* listener) { listener_ = listener; }

private:
    // Sorts rows [first, end) by `column`: names compare through keys made
    // once per row, not once per comparison.
    void SortRows(std::size_t first, std::size_t end, int column, bool descending);
    void Notify(NodeHandle node);
    void ListNode(NodeHandle node);
    void CheckNode(NodeHandle node, bool checked);
    void SetSubtree(NodeHandle node, bool checked);
    void MarkFiles(NodeHandle node, bool checked);
    void MarkEverything(bool checked);
    void AncestorPasses(NodeHandle node);
    void UncheckUpwards(NodeHandle from);
    void RowsAfterNodeToggle(NodeHandle node, bool checked);
    void SetRecordMark(NodeHandle node, bool checked);

    ResultsContext ctx_;
    ResultsTree tree_;
    bool ntfs_ = true;
    std::vector<Row> rows_;
    std::uint32_t listedFolder_ = 0;
    NodeHandle listedNode_ = kNoNode;
    bool sortDescending_ = false;
    int sortColumn_ = kName;
    // Selection state.
    bool visualOnly_ = true;
    NodeHandle actionNode_ = kNoNode;
    std::vector<std::uint32_t> pending_;
    std::function<void(int)> selectProgress_;
    ResultsListener* listener_ = nullptr;
};

}  // namespace dravik::results
