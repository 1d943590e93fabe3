// The check-box selection of the results and renaming. Two things must stay
// in step: the tree's check states (the copy engine walks checked nodes) and
// the items' marks (it writes only marked files). A check on a folder marks
// its folder record and those of its subtree and queues them; one pass over
// their files then marks those.
#include <algorithm>

#include "results/results_context.h"
#include "platform/code_page.h"
#include "results/item_text.h"
#include "results/results_view.h"

namespace dravik::results {

using analysis::kNo;
using analysis::kYes;

namespace {
char Mark(bool checked) { return checked ? kYes : kNo; }
}  // namespace

void ResultsView::SetRecordMark(NodeHandle node, bool checked) {
    if (node == tree_.Root()) {
        // The root stands for everything: the rest of the action only draws.
        visualOnly_ = true;
        MarkEverything(checked);
        return;
    }
    if (auto* f = tree_.Node(node).folder) {
        f->mark = Mark(checked);
        pending_.push_back(f->number);
    }
}

void ResultsView::CheckNode(NodeHandle node, bool checked) {
    auto& n = tree_.Node(node);
    n.checked = checked;
    n.bold = checked;
    if (!visualOnly_) SetRecordMark(node, checked);
}

void ResultsView::SetSubtree(NodeHandle node, bool checked) {
    tree_.ForEachDescendant(node, [&](NodeHandle d) { CheckNode(d, checked); });
}

void ResultsView::MarkEverything(bool checked) {
    for (auto& f : ctx_.items.folders)
        if (f.volume == tree_.Volume()) f.mark = Mark(checked);
    for (auto& f : ctx_.items.files) f.mark = Mark(checked);
}

void ResultsView::MarkFiles(NodeHandle node, bool checked) {
    if (node == tree_.Root()) {
        MarkEverything(checked);
        pending_.clear();
        return;
    }
    // The files of every queued folder, found through their parent rather
    // than by a pass over the whole file list.
    auto& files = ctx_.items.files;
    const std::uint32_t total = files.Count();
    std::uint32_t done = 0;
    std::sort(pending_.begin(), pending_.end());
    pending_.erase(std::unique(pending_.begin(), pending_.end()), pending_.end());
    for (std::uint32_t number : pending_) {
        for (auto& f : files.Children(number)) {
            f.mark = Mark(checked);
            ++done;
        }
        if (selectProgress_ && total) selectProgress_(static_cast<int>(std::uint64_t(done) * 100 / total));
    }
    if (selectProgress_) selectProgress_(100);
    pending_.clear();
}

bool ResultsView::HasSelectedChild(NodeHandle node) {
    const std::uint32_t number = tree_.FolderNumber(node);
    for (const auto& f : ctx_.items.folders.Children(number))
        if (f.volume == tree_.Volume() && f.mark == kYes) return true;
    for (const auto& f : ctx_.items.files.Children(number))
        if (f.mark == kYes) return true;
    if (node != tree_.Root())
        if (auto* f = tree_.Node(node).folder) f->mark = kNo;
    return false;
}

void ResultsView::AncestorPasses(NodeHandle node) {
    std::vector<NodeHandle> ancestors;
    for (NodeHandle a = tree_.Node(node).parent; tree_.Valid(a); a = tree_.Node(a).parent) ancestors.push_back(a);
    // First: checked when every child is. Then: checked when a child is
    // bold, else not bold. Both only draw.
    for (NodeHandle a : ancestors) {
        const auto& children = tree_.Node(a).children;
        const bool all = std::all_of(children.begin(), children.end(), [&](NodeHandle c) { return tree_.Node(c).checked; });
        CheckNode(a, all);
    }
    for (NodeHandle a : ancestors) {
        const auto& children = tree_.Node(a).children;
        if (std::any_of(children.begin(), children.end(), [&](NodeHandle c) { return tree_.Node(c).bold; }))
            CheckNode(a, true);
        else
            tree_.Node(a).bold = false;
    }
}

void ResultsView::UncheckUpwards(NodeHandle from) {
    for (NodeHandle a = from; tree_.Valid(a); a = tree_.Node(a).parent) {
        if (HasSelectedChild(a)) break;
        CheckNode(a, false);
    }
}

void ResultsView::RowsAfterNodeToggle(NodeHandle node, bool checked) {
    const std::uint32_t number = tree_.FolderNumber(node);
    bool showsIt = node == tree_.Root();
    if (!showsIt && !rows_.empty()) {
        const Row& first = rows_.front();
        showsIt = (first.folder ? first.folder->parent : first.file->parent) == number;
    }
    for (Row& r : rows_)
        if (showsIt || (r.folder && r.folder->treeHandle == node)) r.checked = checked;
}

void ResultsView::ToggleNode(NodeHandle node) {
    if (!tree_.Valid(node)) return;
    const bool checked = !tree_.Node(node).checked;
    actionNode_ = node;
    visualOnly_ = false;
    CheckNode(node, checked);
    SetSubtree(node, checked);
    if (node != tree_.Root()) MarkFiles(node, checked);
    if (auto* f = tree_.Node(node).folder) f->mark = Mark(checked);
    RowsAfterNodeToggle(node, checked);
    visualOnly_ = true;
    pending_.clear();
    AncestorPasses(node);
    Notify(node);
}

void ResultsView::SetFolderChecked(analysis::FolderItem& folder, bool checked) {
    folder.mark = Mark(checked);
    const NodeHandle node = folder.treeHandle;
    if (!tree_.Valid(node) || tree_.Node(node).folder != &folder) return;
    actionNode_ = node;
    visualOnly_ = false;
    CheckNode(node, checked);
    SetSubtree(node, checked);
    if (node != tree_.Root()) MarkFiles(node, checked);
    visualOnly_ = true;
    pending_.clear();
    if (!checked) UncheckUpwards(tree_.Node(node).parent);
    AncestorPasses(node);
    Notify(node);
}

void ResultsView::SetFileChecked(analysis::FileItem& file, bool checked, NodeHandle listed) {
    file.mark = Mark(checked);
    if (!tree_.Valid(listed)) return;
    visualOnly_ = true;
    if (checked) {
        for (NodeHandle a = listed; tree_.Valid(a); a = tree_.Node(a).parent) CheckNode(a, true);
    } else {
        UncheckUpwards(listed);
    }
    Notify(listed);
}

void ResultsView::SetRowChecked(std::size_t index, bool checked) {
    if (index >= rows_.size()) return;
    Row& row = rows_[index];
    row.checked = checked;
    if (row.folder)
        SetFolderChecked(*row.folder, checked);
    else
        SetFileChecked(*row.file, checked, listedNode_);
}

void ResultsView::RefreshRowChecks() {
    for (Row& r : rows_) r.checked = (r.folder ? r.folder->mark : r.file->mark) == kYes;
    if (listener_) listener_->RowsChanged();
}

void ResultsView::Notify(NodeHandle node) {
    if (!listener_) return;
    listener_->NodesChanged(node);
    listener_->RowsChanged();
}

namespace {

// The new name in the record's own form: narrow names stay narrow (through
// the code page, at most 199 bytes), wide ones take the text as it is.
template <class Item, class Store>
bool Rename(Store& store, Item& item, const std::u16string& text) {
    if (text.empty() || text == DisplayName16(item)) return false;
    if (item.nameA) {
        std::string narrow = platform::Utf16ToOem(text);
        if (narrow.size() > 199) narrow.resize(199);
        return store.Rename(item, analysis::ItemName::Narrow(narrow));
    }
    return store.Rename(item, analysis::ItemName::Wide(text));
}

}  // namespace

bool ResultsView::RenameRow(std::size_t index, const std::u16string& text) {
    if (index >= rows_.size()) return false;
    Row& row = rows_[index];
    if (row.file) {
        const bool changed = Rename(ctx_.items.files, *row.file, text);
        if (changed && listener_) listener_->RowsChanged();
        return changed;
    }
    if (!Rename(ctx_.items.folders, *row.folder, text)) return false;
    const NodeHandle node = row.folder->treeHandle;
    if (tree_.Valid(node) && tree_.Node(node).folder == row.folder) tree_.Node(node).text = DisplayName16(*row.folder);
    if (listener_) {
        listener_->NodesChanged(node);
        listener_->RowsChanged();
    }
    return true;
}

bool ResultsView::RenameNode(NodeHandle node, const std::u16string& text) {
    if (!tree_.Valid(node) || node == tree_.Root()) return false;
    analysis::FolderItem* folder = tree_.Node(node).folder;
    if (!folder) return false;
    const bool changed = Rename(ctx_.items.folders, *folder, text);
    tree_.Node(node).text = DisplayName16(*folder);
    if (changed && listener_) {
        listener_->NodesChanged(node);
        listener_->RowsChanged();
    }
    return changed;
}

}  // namespace dravik::results
