// Loading a scan log. Nothing in the file is trusted: every field is read
// through a cursor that checks it against the file's size first, counts
// only bound loops (each turn consumes bytes or fails), and a head is used
// only after all of it was read and found plausible.
#include <algorithm>
#include <optional>
#include <vector>

#include "analysis/scan_log.h"
#include "analysis/scan_log_format.h"
#include "analysis/analysis_context.h"
#include "platform/code_page.h"
#include "platform/le.h"
#include "platform/posix_file.h"
#include "platform/text.h"

namespace dravik::analysis {

using scanlog::LogHead;

namespace {

// The log file, read through a window so that a record costs no system call
// of its own.
class LogInput {
public:
    static std::optional<LogInput> Open(const std::string& path) {
        auto file = platform::PosixFile::OpenReadOnly(path);
        if (!file) return std::nullopt;
        const std::uint64_t size = file->Size();
        return LogInput(std::move(*file), size);
    }

    std::uint64_t Size() const { return size_; }

    // The `n` bytes at `offset`, valid until the next call; nullopt when they
    // do not lie inside the file or cannot be read.
    std::optional<platform::Bytes> At(std::uint64_t offset, std::size_t n) {
        if (!platform::InRange(size_, offset, n)) return std::nullopt;
        if (offset < windowStart_ || offset - windowStart_ > window_.size() ||
            window_.size() - (offset - windowStart_) < n) {
            // n is bounded by the file's size, checked above.
            const auto len = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(kWindow, n), size_ - offset));
            window_.resize(len);
            windowStart_ = offset;
            if (!file_.ReadFully(offset, window_)) {
                window_.clear();
                return std::nullopt;
            }
        }
        return platform::Bytes(window_.data() + (offset - windowStart_), n);
    }

private:
    static constexpr std::size_t kWindow = 1 << 20;
    LogInput(platform::PosixFile file, std::uint64_t size) : file_(std::move(file)), size_(size) {}

    platform::PosixFile file_;
    std::uint64_t size_;
    std::vector<std::uint8_t> window_;
    std::uint64_t windowStart_ = 0;
};

// Reads fields in order. After the first field that does not fit, every read
// yields zeros and Failed() stays true.
class LogCursor {
public:
    LogCursor(LogInput& in, std::uint64_t pos) : in_(in), pos_(pos) {}

    bool Failed() const { return failed_; }
    void Fail() { failed_ = true; }
    std::uint64_t Position() const { return pos_; }
    // True when `bytes` more lie inside the file.
    bool Fits(std::uint64_t bytes) const { return !failed_ && platform::InRange(in_.Size(), pos_, bytes); }

    // The next `n` bytes, valid until the next read; empty once failed.
    platform::Bytes Take(std::size_t n) {
        if (failed_) return {};
        auto b = in_.At(pos_, n);
        if (!b) {
            failed_ = true;
            return {};
        }
        pos_ += n;
        return *b;
    }
    std::uint8_t U8() { return platform::U8(Take(1), 0); }
    std::uint16_t U16() { return platform::U16(Take(2), 0); }
    std::uint32_t U32() { return platform::U32(Take(4), 0); }
    std::uint64_t U64() { return platform::U64(Take(8), 0); }
    std::u16string Text(std::size_t chars) {
        const platform::Bytes b = Take(chars * 2);
        if (failed_) return {};
        return *platform::Utf16At(b, 0, chars);
    }
    std::u16string ShortText() { return Text(U8()); }
    std::string NarrowText() {
        const platform::Bytes b = Take(U8());
        return std::string(b.begin(), b.end());
    }

private:
    LogInput& in_;
    std::uint64_t pos_;
    bool failed_ = false;
};

// No disk has a model text this long; a larger length is a damaged head.
constexpr std::uint32_t kMaxModelChars = 0x7FFF;

std::uint64_t Time(platform::Bytes b, std::size_t off) { return platform::U64(b, off); }

// The device model: its length, then its characters. Empty with the cursor
// failed when it does not fit.
std::u16string ReadModel(LogCursor& c) {
    const std::uint32_t chars = c.U32();
    if (c.Failed() || chars > kMaxModelChars) {
        c.Fail();
        return {};
    }
    return c.Text(chars);
}

VolumeDescriptor ReadVolumeRecord(LogCursor& c) {
    namespace r = scanlog::volume_record;
    const platform::Bytes b = c.Take(r::kSize);
    VolumeDescriptor v;
    if (c.Failed()) return v;
    v.endSector = platform::U64(b, r::kEnd);
    v.startSector = platform::U64(b, r::kStart);
    v.sectorsPerCluster = platform::U32(b, r::kSectorsPerCluster);
    v.clusterBase = platform::U32(b, r::kClusterBase);
    v.fat1Start = platform::U32(b, r::kFat1Start);
    v.reservedSectors = platform::U32(b, r::kReservedSectors);
    v.rootDirSectors = platform::U32(b, r::kRootDirSectors);
    v.rootDirStart = platform::U32(b, r::kRootDirStart);
    v.fat2Start = platform::U32(b, r::kFat2Start);
    v.sectorsPerFat = platform::U32(b, r::kSectorsPerFat);
    std::u16string type = *platform::Utf16At(b, r::kTypeName, r::kTypeChars);
    type.resize(std::min(type.find(u'\0'), type.size()));
    v.typeName = platform::Utf16ToUtf8(type);
    v.sectorsPerRecord = platform::U32(b, r::kSectorsPerRecord);
    v.sectorsPerIndexBlock = platform::U32(b, r::kSectorsPerIndexBlock);
    return v;
}

// Everything after the device model.
void ReadVariableHead(LogCursor& c, LogHead& h) {
    h.deviceIndex = c.U8();
    h.driveLetter = c.U8();
    // A size below 1 (as the signed value it is) means the default.
    const auto bytesPerSector = static_cast<std::int32_t>(c.U32());
    h.bytesPerSector = bytesPerSector < 1 ? 512 : static_cast<std::uint32_t>(bytesPerSector);
    h.diskNumber = c.U8();
    h.partitionIndex = c.U8();
    h.fileSystem = c.ShortText();
    h.partitionText = c.ShortText();
    h.startSector = c.U64();
    h.endSector = c.U64();
    for (auto& w : h.partition) w = c.U32();
    for (auto& w : h.geometry) w = c.U32();
    h.geometryFileSystem = c.ShortText();
    h.formatted = c.U32();
    h.exhaustive = c.U32();
    h.phase = c.U32();
    h.currentVolume = c.U32();
    if (h.exhaustive == 0) return;
    const std::uint32_t count = c.U32();
    if (!c.Fits(std::uint64_t(count) * scanlog::volume_record::kSize)) {
        c.Fail();
        return;
    }
    h.volumes.reserve(count);
    for (std::uint32_t i = 0; i < count && !c.Failed(); ++i) h.volumes.push_back(ReadVolumeRecord(c));
}

void ApplyHead(const AnalysisContext& ctx, const LogHead& h, const std::string& path, std::uint64_t listsOffset) {
    auto& src = ctx.source;
    auto& a = ctx.analysis;
    if (h.driveLetter != 0)
        src.SelectVolume(static_cast<char>(h.driveLetter));
    else
        src.SelectPhysicalDisk(0);
    src.DeviceIndex = h.deviceIndex;
    src.BytesPerSector = static_cast<std::int32_t>(h.bytesPerSector);
    src.PartitionIndex = h.partitionIndex == 0xFF ? std::int16_t(-1) : std::int16_t(h.partitionIndex);
    src.PartitionLabel = platform::Utf16ToUtf8(h.fileSystem);
    src.PartitionText = platform::Utf16ToUtf8(h.partitionText);
    src.StartSector = h.startSector;
    src.EndSector = h.endSector;

    const std::uint64_t floor = scanlog::SectorFloor(h.startSector);
    a.partition = scanlog::GeometryOf(h.partition, src.PartitionLabel, floor);
    a.geometry = scanlog::GeometryOf(h.geometry, platform::Utf16ToUtf8(h.geometryFileSystem), floor);
    a.partitionStart = h.startSector;
    a.partitionEnd = h.endSector;
    a.bytesPerSector = h.bytesPerSector;
    a.mftRuns.clear();
    a.extensionRecords.clear();  // they belonged to the volume walked last
    a.extensionRecordsKnown = false;
    a.extensionSectors.clear();
    a.foundMftRuns.clear();
    a.foundMftRunsKnown = false;  // a log keeps none: its files are found as a scan leaves them without

    auto& s = a.settings;
    s.formatted = h.formatted != 0;
    s.exhaustive = h.exhaustive != 0;
    s.phase = h.phase == 0 ? 0 : 1;  // later phases behave as the first one after the search
    s.mode = s.exhaustive || s.formatted ? RecoveryMode::Formatted : RecoveryMode::Deleted;
    a.currentVolume = h.currentVolume;

    // The log's volumes replace the list: the ordinals its items carry are
    // positions in it.
    auto& volumes = ctx.items.volumes;
    volumes.Clear();
    for (VolumeDescriptor v : h.volumes) {
        scanlog::WidenVolume(v, floor);
        if (volumes.AddVolumeDescriptor(std::move(v)) == 0) break;
    }
    a.volumeCount = static_cast<std::uint32_t>(volumes.Count());

    a.log = {path, listsOffset, h.scanTimeRecords, false};
    s.fromLog = true;
}

}  // namespace

std::optional<std::string> ScanLogDeviceModel(std::string_view path) {
    auto in = LogInput::Open(std::string(path));
    if (!in) return std::nullopt;
    LogCursor c(*in, scanlog::head::kModelLength);
    const std::u16string model = ReadModel(c);
    if (c.Failed()) return std::nullopt;
    return platform::Utf16ToUtf8(model);
}

bool ReadScanLogHead(const AnalysisContext& ctx, std::string_view chosen, bool checkDevice) {
    auto& prompter = ctx.prompter;
    if (chosen.empty()) {
        prompter.ViewMsgBox(text::kNoPathSelected);
        return false;
    }
    // Reading never changes the file, not even its permissions.
    const std::string path(chosen);
    auto in = LogInput::Open(path);
    if (!in) {
        prompter.ViewMsgBox(text::kLogOpenError);
        return false;
    }
    auto notValid = [&] {
        prompter.ViewMsgBox(text::kLogNotValid);
        return false;
    };
    LogHead h;
    LogCursor c(*in, scanlog::head::kKind);
    const std::uint16_t kind = c.U16();
    if (c.Failed()) return notValid();
    if (kind > 1) return false;
    h.scanTimeRecords = kind == 1;
    h.model = ReadModel(c);
    if (c.Failed()) return notValid();
    if (checkDevice && h.model != platform::Utf8ToUtf16(ctx.diskModel())) {
        prompter.ViewMsgBox(text::kSelectProperDevice);
        return false;
    }
    ReadVariableHead(c, h);
    if (c.Failed() || !scanlog::PlausibleHead(h)) return notValid();
    // Every reader of the items is made for these file systems; a log naming
    // another (one damaged byte suffices) has nothing they could show.
    const std::u16string& named = h.geometryFileSystem;
    const bool known = named == u"NTFS" || named == u"FAT32" || named == u"FAT16" || named == u"FAT12";
    if (!known && !(named.empty() && h.scanTimeRecords)) return notValid();
    ApplyHead(ctx, h, path, c.Position());
    return true;
}

namespace {

// Reads the list sections into the stores.
class ListLoader {
public:
    ListLoader(AnalysisEnv& env, LogInput& in, std::uint64_t offset)
        : env_(env), items_(env.ctx.items), in_(in), c_(in, offset),
          floor_(scanlog::SectorFloor(env.ctx.analysis.partitionStart)) {}

    ScanLogLoad FoundFolders() { return Section(&ListLoader::FoundFolder); }
    ScanLogLoad FoundFiles() { return Section(&ListLoader::FoundFile); }
    ScanLogLoad FolderItems() { return Section(&ListLoader::FolderItem); }
    ScanLogLoad FileItems() { return Section(&ListLoader::FileItem); }

private:
    // One section: its count, then its records. A stop request skips the
    // remaining records (reading only their lengths) so that the next
    // section is found where it begins.
    ScanLogLoad Section(bool (ListLoader::*record)(bool store)) {
        const std::uint32_t count = c_.U32();
        if (c_.Failed()) return NotValid();
        bool store = true;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!env_.control.Checkpoint()) return ScanLogLoad::Terminated;
            if (store && env_.control.StopRequested()) store = false;
            if (!(this->*record)(store)) return NotValid();
            env_.progress.Percent(c_.Position(), in_.Size());
        }
        env_.control.ClearStop();
        return ScanLogLoad::Complete;
    }

    ScanLogLoad NotValid() {
        env_.ctx.prompter.ViewMsgBox(text::kLogNotValid);
        return ScanLogLoad::Abandoned;
    }

    void Progress(std::u16string_view name) {
        env_.progress.UpdateProgress(items_.totalSize, items_.folders.Count(), items_.files.Count(), name,
                                     ProgressMode::Size);
    }
    void ScanProgress(std::u16string_view name) {
        env_.progress.UpdateProgress(items_.totalSize, items_.scan.FoundFolderCount(),
                                     items_.scan.FoundFileCount(), name, ProgressMode::Size);
    }
    // The store takes the narrow name when its first byte is set; so does
    // the display, through the code page.
    static std::u16string DisplayName(const std::string& narrow, std::u16string wide) {
        return !narrow.empty() && narrow[0] != '\0' ? platform::OemToUtf16(narrow) : wide;
    }

    bool FoundFolder(bool store) {
        namespace r = scanlog::found_folder;
        const platform::Bytes b = c_.Take(r::kFixed);
        if (c_.Failed()) return false;
        analysis::FoundFolder f;
        f.accessed = Time(b, r::kAccessed);
        f.created = Time(b, r::kCreated);
        f.volume = platform::U32(b, r::kVolume);
        f.modified = Time(b, r::kModified);
        f.indexLcn = platform::U32(b, r::kIndexLcn);
        f.parent = platform::U32(b, r::kParent);
        f.sector = scanlog::Widen(platform::U32(b, r::kSector), floor_);
        f.number = platform::U32(b, r::kNumber);
        f.deleted = platform::U8(b, r::kDeleted) == kYes ? kYes : kNo;
        f.name = c_.ShortText();
        c_.NarrowText();
        if (c_.Failed()) return false;
        if (!store) return true;
        const std::u16string name = f.name;
        items_.scan.AddFoundFolder(std::move(f));
        ScanProgress(name);
        return true;
    }

    bool FoundFile(bool store) {
        namespace r = scanlog::found_file;
        const platform::Bytes b = c_.Take(r::kFixed);
        if (c_.Failed()) return false;
        analysis::FoundFile f;
        f.accessed = Time(b, r::kAccessed);
        f.created = Time(b, r::kCreated);
        f.stamp = platform::U32(b, r::kStamp);
        f.modified = Time(b, r::kModified);
        f.size = platform::U64(b, r::kSize);
        f.parent = platform::U32(b, r::kParent);
        f.sector = scanlog::Widen(platform::U32(b, r::kSector), floor_);
        f.number = platform::U32(b, r::kNumber);
        f.deleted = platform::U8(b, r::kDeleted) == kYes ? kYes : kNo;
        f.name = c_.ShortText();
        c_.NarrowText();
        if (c_.Failed()) return false;
        if (!store) return true;
        const std::u16string name = f.name;
        items_.totalSize += f.size;
        items_.scan.AddFoundFile(std::move(f));
        ScanProgress(name);
        return true;
    }

    // The tree handle, the marks, the kind and the stored index are not read
    // back: loaded items start unselected and get their index from the store.
    bool FolderItem(bool store) {
        namespace r = scanlog::folder_item;
        const platform::Bytes b = c_.Take(r::kFixed);
        if (c_.Failed()) return false;
        const std::uint64_t accessed = Time(b, r::kAccessed), created = Time(b, r::kCreated),
                            modified = Time(b, r::kModified);
        const std::uint16_t volume = platform::U16(b, r::kVolume);
        const std::uint32_t parent = platform::U32(b, r::kParent), number = platform::U32(b, r::kNumber);
        const std::uint64_t sector = scanlog::Widen(platform::U32(b, r::kSector), floor_);
        const bool deleted = platform::U8(b, r::kDeleted) == kYes;
        std::u16string wide = c_.ShortText();
        const std::string narrow = c_.NarrowText();
        if (c_.Failed()) return false;
        if (!store) return true;
        items_.folders.AddFolderItem({narrow, wide}, deleted, parent, number, sector, modified, created, accessed,
                                     volume);
        Progress(DisplayName(narrow, std::move(wide)));
        return true;
    }

    bool FileItem(bool store) {
        namespace r = scanlog::file_item;
        const platform::Bytes b = c_.Take(r::kFixed);
        if (c_.Failed()) return false;
        const std::uint64_t accessed = Time(b, r::kAccessed), created = Time(b, r::kCreated),
                            modified = Time(b, r::kModified);
        const std::uint64_t size = platform::U64(b, r::kSize);
        const std::uint32_t parent = platform::U32(b, r::kParent), number = platform::U32(b, r::kNumber);
        const std::uint64_t sector = scanlog::Widen(platform::U32(b, r::kSector), floor_);
        const bool deleted = platform::U8(b, r::kDeleted) == kYes;
        std::u16string wide = c_.ShortText();
        const std::string narrow = c_.NarrowText();
        if (c_.Failed()) return false;
        if (!store) return true;
        items_.files.AddFileItem({narrow, wide}, deleted, size, parent, number, sector, modified, created, accessed);
        items_.totalSize += size;
        Progress(DisplayName(narrow, std::move(wide)));
        return true;
    }

    AnalysisEnv& env_;
    ItemLists& items_;
    LogInput& in_;
    LogCursor c_;
    std::uint64_t floor_;
};

}  // namespace

ScanLogLoad ReadScanLogLists(AnalysisEnv& env) {
    auto& ctx = env.ctx;
    auto& a = ctx.analysis;
    const ScanLogSource log = a.log;
    // The findings of a partition search are the search's own once loaded:
    // the volume list and the dump of a chosen volume work from them.
    if (log.scanTimeRecords) a.settings.fromLog = false;
    env.control.ClearStop();
    auto in = LogInput::Open(log.path);
    if (!in) {
        ctx.prompter.ViewMsgBox(text::kUnableToOpenFile);
        return ScanLogLoad::Abandoned;
    }
    ListLoader load(env, *in, log.listsOffset);
    ScanLogLoad result;
    if (log.scanTimeRecords) {
        ctx.items.scan.Clear();
        const ScanLogLoad folders = load.FoundFolders();
        result = folders == ScanLogLoad::Complete ? load.FoundFiles() : folders;
    } else {
        const ScanLogLoad folders = load.FolderItems();
        result = folders == ScanLogLoad::Complete ? load.FileItems() : folders;
    }
    // Front ends that must not go on with part of a log look here.
    a.log.incomplete = result == ScanLogLoad::Abandoned;
    return result;
}

}  // namespace dravik::analysis
