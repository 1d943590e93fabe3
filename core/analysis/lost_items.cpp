#include "analysis/lost_items.h"

#include <algorithm>
#include <vector>

#include "analysis/analysis_texts.h"
#include "analysis/analysis_context.h"

namespace dravik::analysis {

bool AssignLostFolders(AnalysisEnv& env, std::uint16_t volume, std::uint32_t root) {
    auto& folders = env.ctx.items.folders;
    const std::uint32_t total = folders.Count();
    std::vector<FolderItem*> lost;
    std::uint32_t examined = 0;
    for (FolderItem& f : folders) {
        if (!env.control.Checkpoint()) return false;
        if (env.control.StopRequested()) break;
        ++examined;
        if (f.parent != root && f.volume == volume && f.number != kLostFolder &&
            folders.FindFolder(f.parent, volume) == nullptr)
            lost.push_back(&f);
        env.progress.Counter(text::kDetailLostFolders, examined, total);
        env.progress.Percent(examined, total);
    }
    folders.Reparent(lost, kLostFolder);
    return true;
}

void BreakParentCycles(AnalysisEnv& env, std::uint16_t volume, std::uint32_t root) {
    auto& folders = env.ctx.items.folders;
    std::vector<char> reached(folders.Count() + 1, 0);
    auto reachedRef = [&](const FolderItem& f) -> char& {
        const auto id = folders.IdOf(f);
        if (*id >= reached.size()) reached.resize(*id + 1, 0);
        return reached[*id];
    };
    // Marks everything below `number` (of this volume) as reached.
    std::vector<std::uint32_t> queue;
    auto spread = [&](std::uint32_t number) {
        queue.assign(1, number);
        while (!queue.empty()) {
            const std::uint32_t p = queue.back();
            queue.pop_back();
            for (FolderItem& c : folders.Children(p)) {
                if (c.volume != volume || reachedRef(c)) continue;
                reachedRef(c) = 1;
                if (c.number != 0 && c.number != root) queue.push_back(c.number);
            }
        }
    };
    spread(root);

    std::vector<FolderItem*> unreached;
    for (FolderItem& f : folders)
        if (f.volume == volume && !reachedRef(f)) unreached.push_back(&f);
    std::vector<FolderItem*> path;
    for (FolderItem* start : unreached) {
        FolderItem& f = *start;
        if (reachedRef(f)) continue;
        // Climb until a reached folder, a missing parent or a repeat.
        path.clear();
        FolderItem* x = &f;
        while (x && !reachedRef(*x)) {
            if (std::find(path.begin(), path.end(), x) != path.end()) break;
            path.push_back(x);
            x = folders.FindFolder(x->parent, volume);
        }
        if (x && reachedRef(*x)) continue;  // hangs below a reached folder after all
        FolderItem* cut = x ? x : path.back();
        folders.Reparent(*cut, kLostFolder);
        reachedRef(*cut) = 1;
        if (cut->number != 0) spread(cut->number);
    }
}

void AssignOrphanFiles(AnalysisEnv& env, std::uint16_t volume, std::uint32_t root) {
    auto& files = env.ctx.items.files;
    auto& folders = env.ctx.items.folders;
    // Files carry no volume: one whose folder lives in another volume of the
    // source belongs there, not under this volume's "Lost".
    const auto volumes = static_cast<std::uint16_t>(env.ctx.items.volumes.Count());
    auto folderExists = [&](std::uint32_t number) {
        if (folders.FindFolder(number, volume)) return true;
        for (std::uint16_t v = 0; v <= volumes; ++v)
            if (v != volume && folders.FindFolder(number, v)) return true;
        return false;
    };
    std::vector<std::uint32_t> missing;
    std::uint32_t last = 0;
    bool first = true;
    for (const FileItem& f : files) {
        if (!first && f.parent == last) continue;
        first = false;
        last = f.parent;
        if (f.parent != root && f.parent != kLostFolder && !folderExists(f.parent)) missing.push_back(f.parent);
    }
    std::vector<FileItem*> move;
    for (std::uint32_t parent : missing) {
        move.clear();
        for (FileItem& f : files.Children(parent)) move.push_back(&f);
        files.Reparent(move, kLostFolder);
    }
}

bool GatherLostItems(AnalysisEnv& env, std::uint16_t volume, std::uint32_t root) {
    if (!AssignLostFolders(env, volume, root)) return false;
    BreakParentCycles(env, volume, root);
    AssignOrphanFiles(env, volume, root);
    return true;
}

}  // namespace dravik::analysis
