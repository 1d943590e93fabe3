// The folder tree of the results: a root for the volume's root folder and a
// node per folder of the current volume, children in alphabetical order,
// each with a check state and a bold flag. The GUI's tree view and the
// command line mirror it; the copy engine walks its checked nodes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/item_store.h"

namespace dravik::results {

// 1-based; 0 is no node. A folder's `treeHandle` holds its node's handle.
using NodeHandle = std::uint32_t;
inline constexpr NodeHandle kNoNode = 0;

enum class NodeImage : int { Root = 0, Folder = 1, Lost = 3, Recycle = 4 };

struct TreeNode {
    NodeHandle parent = kNoNode;
    std::uint32_t row = 0;             // its place among its parent's children
    std::vector<NodeHandle> children;  // alphabetical, case-insensitive
    analysis::FolderItem* folder = nullptr;  // null for the root
    std::u16string text;
    NodeImage image = NodeImage::Folder;
    bool checked = false;
    bool bold = false;
    bool expanded = false;
};

inline constexpr const char16_t* kRootText = u"This PC";

class ResultsTree {
public:
    // Builds the tree of volume `volume` below root folder `rootNumber` (5 on
    // NTFS, 0 on FAT), depth first, storing each node's handle in its
    // folder's treeHandle. `progress` gets nodes x 100 / folder count.
    void Build(analysis::FolderStore& folders, std::uint32_t rootNumber, std::uint16_t volume,
               const std::function<void(int)>& progress = {});
    void Clear();

    NodeHandle Root() const { return nodes_.empty() ? kNoNode : 1; }
    bool Valid(NodeHandle h) const { return h != kNoNode && h <= nodes_.size(); }
    TreeNode& Node(NodeHandle h) { return nodes_[h - 1]; }
    const TreeNode& Node(NodeHandle h) const { return nodes_[h - 1]; }
    std::size_t Size() const { return nodes_.size(); }

    std::uint32_t RootNumber() const { return rootNumber_; }
    std::uint16_t Volume() const { return volume_; }
    // The folder number a node stands for: the root number for the root.
    std::uint32_t FolderNumber(NodeHandle h) const;
    // The node of folder `number` of the current volume, or none.
    NodeHandle NodeOfFolder(const analysis::FolderStore& folders, std::uint32_t number) const;

    // Node texts from below the root, joined by '\': "Docs\Letters". Empty
    // for the root.
    std::u16string Path(NodeHandle h) const;
    // The nodes whose Path is `path`, in tree order (the root for an empty
    // one): folders of one name may stand side by side.
    std::vector<NodeHandle> NodesAtPath(std::u16string_view path) const;

    // Depth first over the descendants of `h` (not `h` itself): first child,
    // its descendants, then the next sibling.
    template <class F>
    void ForEachDescendant(NodeHandle h, F f);

private:
    std::vector<TreeNode> nodes_;
    std::uint32_t rootNumber_ = 0;
    std::uint16_t volume_ = 0;
};

template <class F>
void ResultsTree::ForEachDescendant(NodeHandle h, F f) {
    std::vector<NodeHandle> stack(Node(h).children.rbegin(), Node(h).children.rend());
    while (!stack.empty()) {
        const NodeHandle n = stack.back();
        stack.pop_back();
        f(n);
        const auto& children = Node(n).children;
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
}

}  // namespace dravik::results
