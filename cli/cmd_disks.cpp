// dravik-cli disks: the source tree with each item's information figures.
#include <nlohmann/json.hpp>

#include <iostream>

#include "commands.h"
#include "session.h"
#include "drives/drive_catalogue.h"
#include "drives/drive_information.h"

namespace dravik::cli {

namespace {

// The figures count in powers of 1024; on a terminal the unit says so
// ("415.7 MiB", not "415.7 MB").
std::string BinaryUnit(const std::string& value) {
    for (const char* unit : {" KB", " MB", " GB", " TB"}) {
        const std::string u = unit;
        if (value.size() > u.size() && value.compare(value.size() - u.size(), u.size(), u) == 0)
            return value.substr(0, value.size() - 1) + "iB";
    }
    return value;
}

nlohmann::json PaneJson(const drives::InformationPane& pane) {
    nlohmann::json lines = nlohmann::json::array();
    for (const auto& [label, value] : pane.lines) lines.push_back({{"label", label}, {"value", BinaryUnit(value)}});
    nlohmann::json pie = nlohmann::json::array();
    for (const auto& p : pane.pie) pie.push_back({{"legend", p.legend}, {"percent", p.percent}});
    return {{"lines", lines}, {"pie", pie}};
}

void PrintPane(const drives::InformationPane& pane, const std::string& indent) {
    for (const auto& [label, value] : pane.lines) std::cout << indent << label << BinaryUnit(value) << "\n";
}

}  // namespace

int RunDisks(const Common& common, bool json) {
    Session s;
    s.Catalogue(common.images, !common.noSystemDisks, common.sectorSize);
    auto& ctx = *s.ctx;
    const auto& cat = ctx.drives.catalogue;
    nlohmann::json out = nlohmann::json::array();
    // Depth first from the root, as the source tree shows it.
    std::vector<std::pair<partition::TreeHandle, int>> stack{{1, 0}};
    while (!stack.empty()) {
        const auto [handle, depth] = stack.back();
        stack.pop_back();
        const auto* item = cat.Item(handle);
        if (!item) continue;
        drives::InformationPane pane;
        bool hasPane = true;
        switch (item->kind) {
            case drives::CatalogueItemKind::Disk: pane = drives::ShowDiskInformation(ctx, item->disk); break;
            case drives::CatalogueItemKind::Partition:
                pane = drives::ShowPartitionInformation(ctx, item->disk, item->partition);
                break;
            case drives::CatalogueItemKind::Volume: pane = drives::ShowVolumeInformation(ctx, item->text); break;
            default: hasPane = false;
        }
        if (json) {
            nlohmann::json j{{"text", item->text}, {"depth", depth}};
            if (item->kind == drives::CatalogueItemKind::Disk) j["disk"] = "Disk" + std::to_string(item->disk);
            if (item->kind == drives::CatalogueItemKind::Partition) j["partition"] = item->partition + 1;
            if (item->letter) j["drive"] = std::string(1, item->letter) + ":";
            if (hasPane) j["information"] = PaneJson(pane);
            out.push_back(std::move(j));
        } else {
            std::cout << std::string(2 * depth, ' ') << item->text << "\n";
            if (hasPane) PrintPane(pane, std::string(2 * depth + 4, ' '));
        }
        const auto children = cat.Children(handle);
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, depth + 1});
    }
    if (json) std::cout << out.dump(2) << "\n";
    return 0;
}

}  // namespace dravik::cli
