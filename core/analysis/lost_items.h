// Gathering what the tree would otherwise not show under "Lost": folders
// whose parent folder is missing, folders caught in a parent cycle, and files
// whose folder is missing.
#pragma once

#include <cstdint>

#include "analysis/pipeline.h"

namespace dravik::analysis {

// Folders of volume `volume` whose parent is neither `root` nor a folder of
// that volume move under "Lost" (in list order, each to the end of Lost's
// children). Returns false when the worker was terminated; a stop request
// ends the examination early.
bool AssignLostFolders(AnalysisEnv& env, std::uint16_t volume, std::uint32_t root);

// Folders that do not lead up to the root (a parent cycle, possible when
// records were reused) move under "Lost" too: one folder per cycle, so the
// rest of the cycle stays below it.
void BreakParentCycles(AnalysisEnv& env, std::uint16_t volume, std::uint32_t root);

// Files whose parent is neither `root`, "Lost", nor a folder of `volume` (or
// of another volume of the source) move under "Lost", where they can be seen
// and saved.
void AssignOrphanFiles(AnalysisEnv& env, std::uint16_t volume, std::uint32_t root);

// All three, in this order.
bool GatherLostItems(AnalysisEnv& env, std::uint16_t volume, std::uint32_t root);

}  // namespace dravik::analysis
