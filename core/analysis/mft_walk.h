// Deleted-data recovery on NTFS: every record of the $MFT, in use or not,
// becomes a folder or file item.
#pragma once

#include "analysis/pipeline.h"

namespace dravik::analysis {

enum class MftWalkResult {
    Stored,      // items were stored (the lost items are gathered)
    Empty,       // nothing readable: the caller switches to the signature scan
    Terminated,  // ended between two records
};

// Walks the $MFT run list of the analysis block, reading it in large pieces.
// A stop request ends the walk with what was found so far.
MftWalkResult RunMftWalk(AnalysisEnv& env);

}  // namespace dravik::analysis
