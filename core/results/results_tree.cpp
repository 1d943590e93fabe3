#include "results/results_tree.h"

#include <algorithm>

#include "platform/code_page.h"
#include "results/item_text.h"

namespace dravik::results {

namespace {
NodeImage ImageOf(const std::u16string& text) {
    if (text == u"Lost") return NodeImage::Lost;
    if (platform::UpperCase(text).rfind(u"$RECYCLE", 0) == 0) return NodeImage::Recycle;
    return NodeImage::Folder;
}
}  // namespace

void ResultsTree::Clear() { nodes_.clear(); }

void ResultsTree::Build(analysis::FolderStore& folders, std::uint32_t rootNumber, std::uint16_t volume,
                        const std::function<void(int)>& progress) {
    nodes_.clear();
    rootNumber_ = rootNumber;
    volume_ = volume;
    folders.ClearTreeHandles();
    TreeNode root;
    root.text = kRootText;
    root.image = NodeImage::Root;
    root.expanded = true;
    nodes_.push_back(std::move(root));
    const std::uint32_t total = folders.Count();
    int lastPercent = -1;

    // Depth first, children of a node inserted in alphabetical order. A
    // folder is reached only through its own parent, and a folder whose
    // number is the root's (or unknown) has no children of its own, so no
    // folder is inserted twice.
    std::vector<NodeHandle> stack{1};
    while (!stack.empty()) {
        const NodeHandle parent = stack.back();
        stack.pop_back();
        const std::uint32_t number = FolderNumber(parent);
        std::vector<analysis::FolderItem*> children;
        for (analysis::FolderItem& f : folders.Children(number))
            if (f.volume == volume_ && f.treeHandle == 0) children.push_back(&f);
        std::vector<NodeHandle> added;
        for (analysis::FolderItem* fp : children) {
            analysis::FolderItem& f = *fp;
            TreeNode n;
            n.parent = parent;
            n.folder = &f;
            n.text = DisplayName16(f);
            n.image = ImageOf(n.text);
            n.bold = n.image == NodeImage::Lost || n.image == NodeImage::Recycle;
            nodes_.push_back(std::move(n));
            const auto h = static_cast<NodeHandle>(nodes_.size());
            folders.SetTreeHandle(f, h);
            added.push_back(h);
        }
        std::stable_sort(added.begin(), added.end(), [&](NodeHandle a, NodeHandle b) {
            return platform::CompareNoCase(Node(a).text, Node(b).text) < 0;
        });
        for (std::size_t i = 0; i < added.size(); ++i) Node(added[i]).row = static_cast<std::uint32_t>(i);
        Node(parent).children = added;
        for (auto it = added.rbegin(); it != added.rend(); ++it) {
            const std::uint32_t n = Node(*it).folder->number;
            if (n != rootNumber_ && n != 0) stack.push_back(*it);
        }
        if (progress && total) {
            const int percent = static_cast<int>(std::min<std::uint64_t>(100, (nodes_.size() - 1) * 100ull / total));
            if (percent != lastPercent) progress(lastPercent = percent);
        }
    }
}

std::uint32_t ResultsTree::FolderNumber(NodeHandle h) const {
    if (h == Root()) return rootNumber_;
    const auto* f = Node(h).folder;
    return f ? f->number : rootNumber_;
}

NodeHandle ResultsTree::NodeOfFolder(const analysis::FolderStore& folders, std::uint32_t number) const {
    if (number == rootNumber_) return Root();
    const auto* f = folders.FindFolder(number, volume_);
    return f && Valid(f->treeHandle) && Node(f->treeHandle).folder == f ? f->treeHandle : kNoNode;
}

std::u16string ResultsTree::Path(NodeHandle h) const {
    std::vector<const std::u16string*> parts;
    for (NodeHandle n = h; Valid(n) && n != Root(); n = Node(n).parent) parts.push_back(&Node(n).text);
    std::u16string path;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        if (!path.empty()) path += u'\\';
        path += **it;
    }
    return path;
}

std::vector<NodeHandle> ResultsTree::NodesAtPath(std::u16string_view path) const {
    std::vector<NodeHandle> found;
    if (!Valid(Root())) return found;
    std::vector<std::u16string_view> parts;
    for (std::size_t at = 0; !path.empty();) {
        const std::size_t end = path.find(u'\\', at);
        parts.push_back(path.substr(at, end == std::u16string_view::npos ? std::u16string_view::npos : end - at));
        if (end == std::u16string_view::npos) break;
        at = end + 1;
    }
    // Depth first over the children whose text matches the next part.
    std::vector<std::pair<NodeHandle, std::size_t>> stack{{Root(), 0}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        if (depth == parts.size()) {
            found.push_back(node);
            continue;
        }
        const auto& children = Node(node).children;
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            if (Node(*it).text == parts[depth]) stack.push_back({*it, depth + 1});
    }
    return found;
}

}  // namespace dravik::results
