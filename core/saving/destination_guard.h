// Refuses a destination that lies on what is being recovered: writing there
// can overwrite the very data the recovery is after (freed clusters of a
// disk, or the image file that stands for one).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "saving/saving_context.h"
#include "platform/block_devices.h"

namespace dravik::saving {

// Empty when `destination` may be written; otherwise the message that says
// why not. The destination need not exist yet: its nearest existing
// ancestor decides. Refused are
//  - for a block-device source: a file system on that device, on its whole
//    disk or on any partition of that disk, also when the file system is
//    reached through a FUSE mount or a device-mapper volume built on them;
//  - for an image-file source: a folder whose tree holds the image (a file
//    written there may replace it), and a file system mounted from the
//    image itself (loop or FUSE). Elsewhere on the file system that holds
//    the image is fine: other files cannot change the image's bytes.
// An empty path, no current source, or a source that cannot be looked at is
// not refused here (the other destination checks apply).
std::string DestinationOnSource(const SavingContext& ctx, const std::filesystem::path& destination,
                                const platform::SystemPaths& paths = {});

// The block devices that share a disk with `device`: the device itself, its
// whole disk and every partition of that disk, as sysfs relates them. Only
// `device` when sysfs does not know it.
std::vector<dev_t> DevicesOfSameDisk(dev_t device, const platform::SystemPaths& paths = {});

// The block devices a device is built on, itself included: the slaves of a
// device-mapper or md device, recursively.
std::vector<dev_t> DevicesBelow(dev_t device, const platform::SystemPaths& paths = {});

}  // namespace dravik::saving
