// Reading the boot sector of the selected partition into its geometry, and
// handing that geometry to an analysis.
#pragma once

#include <cstdint>
#include <optional>

#include "analysis/analysis_context.h"

namespace dravik::analysis {

// Fills the partition geometry from the boot sector of the partition that
// CurrentSource selects, by its file-system label. NTFS: the boot sector or
// its backup, the $MFT and $MFTMirr sectors (each 0 unless a FILE record is
// there; one of them must be). FAT12/FAT16/FAT32: FAT and root-directory
// layout, checked against the second FAT's media byte (FAT32 falls back to
// the backup boot sector). Returns false, changing nothing, when no copy passes or the
// label is another one.
bool ReadVolumeGeometry(const AnalysisContext& ctx);

// What the file system of the selected partition claims to span, in bytes,
// by its boot sector (NTFS: with its backup boot sector); nullopt when the
// boot sector cannot be read or names no NTFS or FAT volume.
std::optional<std::uint64_t> FileSystemBytes(const AnalysisContext& ctx);

// Copies the partition geometry, range and sector size into the block the
// analysis works with (a loaded scan log's block and range stay as loaded).
// For NTFS in deleted mode it builds the $MFT run list too: from the $MFT's
// own record, or from its copy in $MFTMirr when the start of the $MFT is
// unreadable.
void PrepareAnalysis(const AnalysisContext& ctx);

}  // namespace dravik::analysis
