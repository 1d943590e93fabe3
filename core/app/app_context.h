// The application's state, in one object per block, owned by one context.
// Front ends make one for the process; tests make fresh ones.
#pragma once

#include "analysis/analysis_context.h"
#include "base/prompter.h"
#include "partition/partition_context.h"
#include "results/results_context.h"
#include "platform/device_map.h"
#include "saving/saving_context.h"
#include "platform/registry_store.h"
#include "source/current_source.h"
#include "drives/drive_catalogue.h"
#include "source/sector_reader.h"

namespace dravik::app {

// Shows "Out Of Memory" through the prompter and ends the process with exit
// code 0, as the stores require when an allocation fails.
[[noreturn]] void ExitOutOfMemory(base::Prompter& prompter) noexcept;

class AppContext {
public:
    explicit AppContext(base::Prompter& prompter, source::DeviceOpenFn open = source::OpenPosixDevice);
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    base::Prompter& prompter;
    platform::DeviceMap devices;
    source::CurrentSource source;
    source::SectorReader reader;
    partition::PartitionTables partitions{};
    platform::RegistryStore registry;  // holds the disk geometry cache
    drives::Drives drives;             // what the catalogue lists, and the catalogue
    analysis::AnalysisState analysis;
    analysis::ItemLists items;
    saving::SavingSettings savingSettings;
    saving::SaveRun saveRun;

    // Each subsystem sees the part of the state it works on.
    operator partition::PartitionContext() { return {devices, source, reader, partitions, registry}; }
    operator drives::DrivesContext() { return {devices, source, reader, partitions, registry, drives}; }
    operator analysis::AnalysisContext();
    operator results::ResultsContext() { return {analysis, items}; }
    operator saving::SavingContext() {
        return {prompter, devices, source, reader, analysis, items, savingSettings, saveRun};
    }
};

}  // namespace dravik::app
