// What every command starts from: an application context with the disks
// and images the options name, and the choice of a source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "terminal.h"

namespace dravik::cli {

// How the sources are opened: as they are, unless the test-only variables
// DRAVIK_TEST_UNREADABLE ("FIRST-LAST,N,...": 512-byte sectors of each
// source that fail to read) or DRAVIK_TEST_READ_DELAY_MS (a pause before
// every read) are set, so that the binary can be tested on unreadable and
// slow sources.
source::DeviceOpenFn SourceOpener();

struct Session {
    TerminalPrompter prompter;
    std::unique_ptr<app::AppContext> ctx = std::make_unique<app::AppContext>(prompter, SourceOpener());

    // Builds the drive catalogue with `images` attached as disks (and the
    // machine's own disks unless `systemDisks` is false).
    // `sectorSize` (--sector-size) stays for later catalogues of the session.
    void Catalogue(const std::vector<std::string>& images, bool systemDisks = true, std::uint32_t sectorSize = 0);
};

// A partition or volume chosen as the source of an analysis.
struct SourceChoice {
    int disk = -1;       // a physical disk, or
    char letter = 0;     // a logical drive
    int partition = -1;  // index in the disk's table
};

// Refuses a source or image path that is missing, a folder, or not
// readable by this user, saying which and what to do about it.
void CheckSourcePath(const std::string& path);

// Refuses a disk of the catalogue that this user may not read (listed from
// sysfs's figures only), with how to get access.
void CheckDiskAccess(const app::AppContext& ctx, int disk);

// Resolves SOURCE ("Disk0", "C:", a block device or an image file; an image
// not yet attached is attached) and the 1-based partition number (0: the
// only one). Throws CliError with the list of partitions when the choice is
// ambiguous or wrong.
SourceChoice ResolveSource(Session& s, const std::string& source, std::vector<std::string>& images, int partition);

// Makes the choice the current source: device, range, label; the bad-sector
// policy back to its default.
void SelectSource(Session& s, const SourceChoice& choice);

// Selects the whole disk `disk` as the range of a search (no label).
void SelectWholeDisk(Session& s, int disk);

}  // namespace dravik::cli
