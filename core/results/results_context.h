// The part of the application's state the results browser reads and marks.
#pragma once

#include "analysis/analysis_state.h"
#include "analysis/item_store.h"

namespace dravik::results {

struct ResultsContext {
    analysis::AnalysisState& analysis;
    analysis::ItemLists& items;
};

}  // namespace dravik::results
