// The part of the application's state the analysis workers use: the source
// and its reader, the analysis settings, the item lists. The model of the
// selected disk, which only the drive catalogue above knows, comes as a
// callback (recorded in and checked against scan logs).
#pragma once

#include <functional>
#include <string>

#include "analysis/analysis_state.h"
#include "analysis/item_store.h"
#include "base/prompter.h"
#include "source/current_source.h"
#include "source/sector_reader.h"

namespace dravik::analysis {

struct AnalysisContext {
    base::Prompter& prompter;
    source::CurrentSource& source;
    source::SectorReader& reader;
    AnalysisState& analysis;
    ItemLists& items;
    std::function<std::string()> diskModel = [] { return std::string(); };
};

}  // namespace dravik::analysis
