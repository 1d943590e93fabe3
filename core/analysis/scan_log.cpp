// Saving a scan log, and what saving and loading share.
#include "analysis/scan_log.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "analysis/scan_log_format.h"
#include "analysis/analysis_context.h"
#include "platform/text.h"

namespace dravik::analysis {

using scanlog::LogHead;

std::string ScanLogPath(std::string_view chosen) {
    std::string path(chosen);
    if (!path.ends_with(kScanLogExtension)) path += kScanLogExtension;
    return path;
}

namespace {

LogHead HeadOf(const AnalysisContext& ctx, bool scanTimeRecords) {
    const auto& src = ctx.source;
    const auto& a = ctx.analysis;
    LogHead h;
    h.scanTimeRecords = scanTimeRecords;
    h.model = platform::Utf8ToUtf16(ctx.diskModel());
    h.deviceIndex = static_cast<std::uint8_t>(src.DeviceIndex);
    h.driveLetter = static_cast<std::uint8_t>(src.DriveLetter);
    h.bytesPerSector = static_cast<std::uint32_t>(src.BytesPerSector);
    // The selected partition lies on the selected disk.
    h.diskNumber = static_cast<std::uint8_t>(src.DeviceIndex);
    h.partitionIndex = static_cast<std::uint8_t>(src.PartitionIndex);
    h.fileSystem = platform::Utf8ToUtf16(src.PartitionLabel);
    h.partitionText = platform::Utf8ToUtf16(src.PartitionText);
    h.startSector = src.StartSector;
    h.endSector = src.EndSector;
    h.partition = scanlog::WordsOf(a.partition);
    h.geometry = scanlog::WordsOf(a.geometry);
    h.geometryFileSystem = platform::Utf8ToUtf16(a.geometry.fileSystem);
    h.formatted = a.settings.formatted ? 1 : 0;
    h.exhaustive = a.settings.exhaustive ? 1 : 0;
    h.phase = static_cast<std::uint32_t>(a.settings.phase);
    h.currentVolume = a.currentVolume;
    if (a.settings.exhaustive) h.volumes = ctx.items.volumes.items;
    return h;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Collects records and writes them out in large pieces; remembers a failed
// write so that the caller checks once at the end.
class LogWriter {
public:
    explicit LogWriter(std::FILE* file) : file_(file) { buffer_.reserve(kFlushAt + 1024); }

    std::vector<std::uint8_t>& Buffer() { return buffer_; }
    void Flush(bool force = false) {
        if (buffer_.empty() || (!force && buffer_.size() < kFlushAt)) return;
        if (ok_ && std::fwrite(buffer_.data(), 1, buffer_.size(), file_.get()) != buffer_.size()) ok_ = false;
        buffer_.clear();
    }
    // Flushes and closes; false when any write failed.
    bool Close() {
        Flush(true);
        std::FILE* f = file_.release();
        return std::fclose(f) == 0 && ok_;
    }

private:
    static constexpr std::size_t kFlushAt = 1 << 20;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::vector<std::uint8_t> buffer_;
    bool ok_ = true;
};

template <class Range, class Put>
void PutSection(LogWriter& w, const Range& records, std::uint32_t count, Put put) {
    scanlog::PutU32(w.Buffer(), count);
    for (const auto& r : records) {
        put(w.Buffer(), r);
        w.Flush();
    }
}

}  // namespace

bool SaveScanLog(const AnalysisContext& ctx, std::string_view chosen, ScanLogOrigin origin) {
    if (chosen.empty()) {
        ctx.prompter.ViewMsgBox(text::kNoPathSelected);
        return false;
    }
    const std::string path = ScanLogPath(chosen);
    // Written under a name of its own and renamed over the chosen one when
    // complete: a run killed while writing leaves no short log to misread,
    // and a read-only log of that name is replaced rather than changed.
    const std::string partial = path + ".part" + std::to_string(::getpid());
    std::remove(partial.c_str());
    std::FILE* file = std::fopen(partial.c_str(), "wbx");
    if (!file) {
        ctx.prompter.ViewMsgBox(text::kLogCreateError);
        return false;
    }
    // A log from the partition list without findings to carry (no search
    // ran) is a normal one: a kind that promised findings the file does not
    // hold would be misread.
    const auto& items = ctx.items;
    const bool scanTime = origin == ScanLogOrigin::PartitionList && ctx.analysis.settings.exhaustive;
    LogWriter w(file);
    scanlog::PutHead(w.Buffer(), HeadOf(ctx, scanTime));
    if (scanTime) {
        PutSection(w, items.scan.foundFolders, static_cast<std::uint32_t>(items.scan.foundFolders.size()),
                   scanlog::PutFoundFolder);
        PutSection(w, items.scan.foundFiles, static_cast<std::uint32_t>(items.scan.foundFiles.size()),
                   scanlog::PutFoundFile);
    }
    PutSection(w, items.folders, items.folders.Count(), scanlog::PutFolderItem);
    PutSection(w, items.files, items.files.Count(), scanlog::PutFileItem);
    if (!w.Close() || std::rename(partial.c_str(), path.c_str()) != 0) {
        // A cut-off log would load as a broken one later; better none.
        std::remove(partial.c_str());
        ctx.prompter.ViewMsgBox(text::kLogCreateError);
        return false;
    }
    return true;
}

}  // namespace dravik::analysis
