#include "saving/destination.h"

#include <sys/statvfs.h>

#include <vector>

#include "saving/saving_context.h"
#include "base/size_text.h"
#include "results/item_text.h"
#include "results/results_tree.h"
#include "saving/destination_paths.h"

namespace dravik::saving {

namespace fs = std::filesystem;

bool CheckDestination(const SavingContext& ctx, std::string_view pathText) {
    // Taken whole: a path cut short could name a folder above the one meant.
    // One longer than the system takes is refused.
    std::string path(pathText);
    if (path.empty() || path.size() >= kMaxPathBytes || !CreateFolderPath(fs::path(path))) {
        ctx.prompter.ViewMsgBox(text::kSelectPath);
        return false;
    }
    ctx.saveRun.destination = path;
    return true;
}

std::string DataSizeText(std::uint64_t bytes) {
    std::string t = SizeTextIn(bytes);
    return t.substr(0, t.size() - 3);  // without " in"
}

void CalculateDataSize(const SavingContext& ctx, const results::ResultsTree& tree, base::WorkerControl& control,
                       const std::function<void(std::int32_t, std::uint64_t)>& shown) {
    CalculateDataSize(ctx, tree, control, SettingsFilter(ctx), shown);
}

void CalculateDataSize(const SavingContext& ctx, const results::ResultsTree& tree, base::WorkerControl& control,
                       const FileFilter& filter, const std::function<void(std::int32_t, std::uint64_t)>& shown) {
    auto& run = ctx.saveRun;
    run.selectedCount = 0;
    run.selectedBytes = 0;
    const auto& fs = ctx.analysis.geometry.fileSystem;
    if (fs != "NTFS" && fs != "FAT12" && fs != "FAT16" && fs != "FAT32") return;
    const results::NodeHandle root = tree.Root();
    if (!tree.Valid(root) || !tree.Node(root).checked) return;

    auto count = [&](std::uint32_t number) {
        for (const auto& f : ctx.items.files.Children(number)) {
            if (!control.Checkpoint()) return false;
            if (f.mark != analysis::kYes) continue;
            if (filter && !filter(f, results::DisplayName16(f))) continue;
            ++run.selectedCount;
            // A crafted size (2^63 and more) must not wrap the total back to
            // what the run writes: the total stops at the largest value.
            run.selectedBytes = SaturatingAdd(run.selectedBytes, f.size);
            if (shown) shown(run.selectedCount, run.selectedBytes);
        }
        return true;
    };
    if (!count(tree.RootNumber())) return;
    // The save walk's order and rules, so that the totals are what it writes.
    std::vector<results::NodeHandle> stack(tree.Node(root).children.rbegin(), tree.Node(root).children.rend());
    while (!stack.empty()) {
        const auto& n = tree.Node(stack.back());
        stack.pop_back();
        if (!n.checked) continue;
        if (n.folder && n.folder->number != 0 && !count(n.folder->number)) return;
        stack.insert(stack.end(), n.children.rbegin(), n.children.rend());
    }
}

std::uint64_t FreeBytes(const fs::path& path) {
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0) return 0;
    return static_cast<std::uint64_t>(st.f_bfree) * st.f_frsize;
}

std::string InsufficientSpaceText(std::uint64_t selectedBytes) {
    return "Insufficient free space on destination drive. Selected file/folder requires " +
           base::SizeText(selectedBytes) + " of free space. Press Yes if you want continue with it.";
}

DestinationDecision DecideAfterSizeWalk(const SavingContext& ctx) {
    auto& run = ctx.saveRun;
    if (run.selectedCount <= 0) {
        ctx.prompter.ViewMsgBox(text::kNothingSelected);
        return DestinationDecision::CloseDialog;
    }
    if (FreeBytes(run.destination) <= run.selectedBytes &&
        ctx.prompter.ViewQuestionMsg(InsufficientSpaceText(run.selectedBytes)) != 1)
        return DestinationDecision::StayInDialog;
    return DestinationDecision::Save;
}

}  // namespace dravik::saving
