// The drive information pane as data: its label/value lines and pie chart,
// for a disk, a logical drive or a partition. The GUI draws them, the
// command line prints them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drives/drive_catalogue.h"

namespace dravik::drives {

struct PieSlice {
    std::string legend;
    double percent = 0;
};

struct InformationPane {
    static constexpr std::string_view kTitle = "Drive Information";
    std::vector<std::pair<std::string, std::string>> lines;  // label (with its spacing and " : "), value
    std::vector<PieSlice> pie;                               // empty: no chart

    // The lines as shown, label and value run together, one per line.
    std::string Text() const;
};

// One decimal in TB, GB, MB or KB (binary units); "0" for 0:
// 3 000 000 000 000 -> "2.7 TB", 500 000 000 -> "476.8 MB".
std::string FormatSize(std::uint64_t bytes);

// Disk n: number, model, media type and size from the geometry cache, and
// each listed partition's share of the disk (the disk is walked again
// first). `selectedPartition` (0-based, -1 for none) is drawn as the
// selected one. Afterwards disk n is the current device.
InformationPane ShowDiskInformation(const DrivesContext& ctx, int n, int selectedPartition = -1);

// The logical drive named by its item text ("DATA (D:)"): name, file
// system, capacity, used and free space with their pie chart. Figures come
// from the mounted file system when the volume is mounted, else from the
// volume's own structures where that is cheap, else they stay empty. Sets
// BytesPerSector to the volume's sector size when the volume can be opened.
InformationPane ShowVolumeInformation(const DrivesContext& ctx, std::string_view itemText);

// Partition `index` of disk n: type, start and end sector, size. Empty when
// the table has no such partition.
InformationPane ShowPartitionInformation(const DrivesContext& ctx, int n, int index);

}  // namespace dravik::drives
