// Deleted-data recovery on NTFS: every record of the $MFT, in use or not,
// becomes a folder or file item.
#pragma once

#include "analysis/ntfs_runs.h"
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

// The extension records holding non-resident unnamed data, by base record:
// what the walk remembers as it goes, gathered in one pass for items that
// were loaded from a scan log instead.
ntfs::ExtensionMap CollectExtensionRecords(const ntfs::NtfsVolume& volume);

}  // namespace dravik::analysis
