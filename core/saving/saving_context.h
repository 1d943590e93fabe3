// The part of the application's state a save uses: the items and their
// volume, the reader, the settings, the run's standing answers and counts,
// and the device map the destination guard compares against.
#pragma once

#include "analysis/analysis_state.h"
#include "analysis/item_store.h"
#include "base/prompter.h"
#include "platform/device_map.h"
#include "saving/save_run.h"
#include "saving/saving_settings.h"
#include "source/current_source.h"
#include "source/sector_reader.h"

namespace dravik::saving {

struct SavingContext {
    base::Prompter& prompter;
    platform::DeviceMap& devices;
    source::CurrentSource& source;
    source::SectorReader& reader;
    analysis::AnalysisState& analysis;
    analysis::ItemLists& items;
    SavingSettings& savingSettings;
    SaveRun& saveRun;
};

}  // namespace dravik::saving
