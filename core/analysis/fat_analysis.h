// FAT12/16/32 analyses: the directory walk (deleted-data recovery), the
// directory-cluster signature scan (formatted-data recovery), and the scan of
// a sector range for lost FAT volumes (partition recovery).
#pragma once

#include <cstdint>

#include "analysis/pipeline.h"

namespace dravik::analysis {

// Walks the tree from the root; switches to the signature scan (with its
// message) when nothing is found.
AnalysisOutcome RunFatDirectoryWalk(AnalysisEnv& env);

// Finds directory clusters by their "." and ".." entries, then reads the
// root and every directory found. `fromRootStep` skips the search (the
// exhaustive flow has found the folders already).
AnalysisOutcome RunFatSignatureScan(AnalysisEnv& env, bool fromRootStep = false);

// Searches the analysis range for FAT boot sectors and directory clusters and
// infers the volumes they belong to; ends with the volume list to choose from.
AnalysisOutcome RunFatExhaustiveScan(AnalysisEnv& env);

// After the user chose volume `ordinal` (whose geometry the analysis block
// holds): its folders become items, then its root and directories are read.
AnalysisOutcome RunFatChosenVolume(AnalysisEnv& env, std::uint32_t ordinal);

}  // namespace dravik::analysis
