// Advance mode: finds NTFS files and folders without trusting the $MFT, by
// the signatures of FILE records, INDX blocks and boot sectors anywhere in
// the range, then rebuilds folder numbers and volumes from what it found.
#pragma once

#include <cstdint>
#include <string_view>

#include "analysis/pipeline.h"

namespace dravik::analysis {

// Number of an NTFS metafile by its exact name ("$MFT" and "$MFTMirr" are
// 1, "$LogFile" 2, ... "$UpCase" 10); 0 for any other name.
std::uint32_t MetafileNumber(std::u16string_view name);

// Steps 1 to 4.1 over the analysis range, then (outside an exhaustive
// search) the dump of volume 1. In an exhaustive search the findings are
// left for the user to choose a volume. A stop request ends only the step
// it arrives in.
AnalysisOutcome RunSignatureScan(AnalysisEnv& env);

// Turns the scan-time findings into items: volume `volume`'s "Lost" folder,
// every found folder (except the root) and every found file with a parent,
// then gathers the lost items of that volume. The findings are used up,
// unless `consume` is false (an exhaustive search keeps them so that the user
// can choose another volume).
bool DumpNtfs(AnalysisEnv& env, std::uint16_t volume, bool consume = true);

}  // namespace dravik::analysis
