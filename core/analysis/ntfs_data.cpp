#include "analysis/ntfs_data.h"

#include <algorithm>
#include <vector>

#include "analysis/lznt1.h"
#include "source/sector_reader.h"

namespace dravik::analysis::ntfs {

using platform::InRange;
using platform::U16;
using platform::U32;
using platform::U8;

namespace {

namespace flag {
constexpr std::uint16_t kCompressionMask = 0x00FF;  // 1 = LZNT1
constexpr std::uint16_t kLznt1 = 0x0001;
constexpr std::uint16_t kEncrypted = 0x4000;
}  // namespace flag

constexpr std::uint32_t kSiFileAttributes = 0x20;  // in $STANDARD_INFORMATION
constexpr std::uint32_t kFileAttributeEncrypted = 0x4000;
constexpr std::uint32_t kReparsePoint = 0xC0;
constexpr std::uint32_t kLoggedUtilityStream = 0x100;  // holds $EFS
constexpr std::uint32_t kReparseTagWof = 0x80000017;

constexpr std::uint32_t kChunkSectors = 2048;  // 1 MiB reads at 512 bytes per sector
// Windows compresses in units of 16 clusters of at most 4 KiB; anything far
// larger is not a unit this reader can hold.
constexpr std::uint64_t kMaxUnitBytes = 4u << 20;

std::optional<Bytes> ResidentValueOf(Bytes record, const AttributeRef& a) {
    const std::size_t bound = RecordBound(record);
    if (a.nonResident) return std::nullopt;
    const std::uint64_t off = std::uint64_t(a.offset) + U16(record, a.offset + hdr::kValueOffset);
    const std::uint64_t len = U32(record, a.offset + hdr::kValueLength);
    if (!InRange(bound, off, len)) return std::nullopt;
    return record.subspan(static_cast<std::size_t>(off), static_cast<std::size_t>(len));
}

template <class Match>
std::optional<AttributeRef> Find(Bytes record, Match match) {
    return FindAttribute(record, RecordBound(record), FirstAttributeOffset(record), match);
}

// What the base record says of the data beyond its runs.
DataProblem RecordProblem(Bytes record) {
    if (auto si = Find(record, [](const AttributeRef& a) { return a.type == attr::kStandardInformation; }))
        if (auto v = ResidentValueOf(record, *si); v && v->size() >= kSiFileAttributes + 4)
            if (U32(*v, kSiFileAttributes) & kFileAttributeEncrypted) return DataProblem::Encrypted;
    if (Find(record, [](const AttributeRef& a) { return a.type == kLoggedUtilityStream; }))
        return DataProblem::Encrypted;
    if (auto rp = Find(record, [](const AttributeRef& a) { return a.type == kReparsePoint; }))
        if (auto v = ResidentValueOf(record, *rp); v && v->size() >= 4 && U32(*v, 0) == kReparseTagWof)
            return DataProblem::OverlayCompressed;
    return DataProblem::None;
}

// Steps through a run list by sectors of the file.
class RunCursor {
public:
    explicit RunCursor(const RunList& runs) : runs_(runs) {}
    bool AtEnd() {
        while (i_ < runs_.size() && runs_[i_].length == inRun_) ++i_, inRun_ = 0;
        return i_ >= runs_.size();
    }
    // The pieces of runs covering the next `sectors` sectors (fewer when the
    // runs end first).
    RunList Take(std::uint64_t sectors) {
        RunList pieces;
        while (sectors > 0 && !AtEnd()) {
            const DataRun& r = runs_[i_];
            const std::uint64_t n = std::min(r.length - inRun_, sectors);
            pieces.push_back({r.sparse ? 0 : r.start + inRun_, n, r.sparse});
            inRun_ += n;
            sectors -= n;
        }
        return pieces;
    }

private:
    const RunList& runs_;
    std::size_t i_ = 0;
    std::uint64_t inRun_ = 0;
};

class Reader {
public:
    Reader(const NtfsVolume& volume, std::uint64_t size, std::uint64_t volumeEnd, const PieceSink& sink)
        : volume_(volume), bps_(volume.reader->SectorSize()), left_(size), volumeEnd_(volumeEnd), sink_(sink) {}

    // Reads `piece` into `into` (piece.length sectors): zeros for sparse
    // runs and for sectors outside the volume.
    void Fill(const DataRun& piece, std::span<std::uint8_t> into) {
        if (piece.sparse) {
            std::fill(into.begin(), into.end(), 0);
            return;
        }
        std::uint64_t count = piece.length;
        if (volumeEnd_ != 0 && piece.start + piece.length > volumeEnd_) {
            Note(DataProblem::RunsOutsideVolume);
            count = piece.start >= volumeEnd_ ? 0 : volumeEnd_ - piece.start;
            std::fill(into.begin() + count * bps_, into.end(), 0);
        }
        if (count > 0) volume_.reader->Read(piece.start, static_cast<std::uint32_t>(count), into.first(count * bps_));
    }

    // Hands on up to `n` bytes of `data`; false once the file is whole or
    // the sink has had enough.
    bool Yield(const std::uint8_t* data, std::uint64_t n, PieceOutcome outcome) {
        const auto take = static_cast<std::size_t>(std::min(n, left_));
        left_ -= take;
        if (take > 0 && !sink_(Bytes(data, take), outcome)) return false;
        return left_ > 0;
    }

    bool Plain(const RunList& runs) {
        buffer_.resize(std::size_t(kChunkSectors) * bps_);
        for (const auto& run : runs) {
            for (std::uint64_t done = 0; done < run.length;) {
                const auto n = std::min<std::uint64_t>(kChunkSectors, run.length - done);
                const std::span<std::uint8_t> into(buffer_.data(), n * bps_);
                Fill({run.sparse ? 0 : run.start + done, n, run.sparse}, into);
                if (!Yield(buffer_.data(), into.size(), run.sparse ? PieceOutcome::Sparse : PieceOutcome::Read))
                    return false;
                done += n;
            }
        }
        return true;
    }

    // Compression units of `unitSectors`: all runs sparse is zeros, no
    // sparse run is a unit stored as it is, otherwise the clusters before
    // the sparse tail hold the unit compressed.
    void Compressed(const RunList& runs, std::uint64_t unitSectors) {
        const std::size_t unitBytes = static_cast<std::size_t>(unitSectors * bps_);
        std::vector<std::uint8_t> packed(unitBytes);
        std::vector<std::uint8_t> unit(unitBytes);
        RunCursor cursor(runs);
        while (!cursor.AtEnd()) {
            const RunList pieces = cursor.Take(unitSectors);
            std::uint64_t stored = 0;
            bool anySparse = false;
            for (const auto& p : pieces) {
                if (p.sparse)
                    anySparse = true;
                else
                    stored += p.length;
            }
            PieceOutcome outcome = PieceOutcome::Read;
            if (stored == 0) {
                std::fill(unit.begin(), unit.end(), 0);
                outcome = PieceOutcome::Sparse;
            } else {
                std::size_t at = 0;
                for (const auto& p : pieces) {
                    if (p.sparse) continue;
                    Fill(p, std::span<std::uint8_t>(packed).subspan(at, p.length * bps_));
                    at += p.length * bps_;
                }
                if (!anySparse) {
                    // A unit that did not shrink (or the runs' last, cut short).
                    std::copy_n(packed.begin(), at, unit.begin());
                    std::fill(unit.begin() + at, unit.end(), 0);
                } else {
                    std::fill(unit.begin(), unit.end(), 0);
                    const auto r = lznt1::Decompress(std::span<const std::uint8_t>(packed.data(), at), unit);
                    if (r.status != lznt1::Status::Ok) {
                        Note(DataProblem::DamagedCompression);
                        outcome = PieceOutcome::NotDecodable;
                    }
                }
            }
            if (!Yield(unit.data(), unit.size(), outcome)) return;
        }
    }

    void Note(DataProblem p) {
        if (problem == DataProblem::None) problem = p;
    }

    DataProblem problem = DataProblem::None;

private:
    const NtfsVolume& volume_;
    const std::uint64_t bps_;
    std::uint64_t left_;
    const std::uint64_t volumeEnd_;
    const PieceSink& sink_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace

const char* DataProblemText(DataProblem problem) {
    switch (problem) {
        case DataProblem::None: return "";
        case DataProblem::Encrypted: return "encrypted";
        case DataProblem::OverlayCompressed: return "compressed by the Windows Overlay Filter";
        case DataProblem::UnknownCompression: return "unknown compression";
        case DataProblem::DamagedCompression: return "damaged compressed data";
        case DataProblem::RunsOutsideVolume: return "runs outside the volume";
    }
    return "";
}

DataProblem ReadRunData(const NtfsVolume& volume, const RunList& runs, std::uint64_t size, bool compressed,
                        unsigned unitShift, std::uint64_t volumeEnd, const PieceSink& sink) {
    if (!volume.reader || volume.reader->SectorSize() == 0 || size == 0) return DataProblem::None;
    Reader reader(volume, size, volumeEnd, sink);
    const std::uint64_t unitSectors = std::uint64_t(volume.sectorsPerCluster) << std::min(unitShift, 31u);
    if (!compressed || unitShift == 0) {
        if (compressed) reader.Note(DataProblem::UnknownCompression);
        reader.Plain(runs);
    } else if (unitSectors * volume.reader->SectorSize() > kMaxUnitBytes || unitSectors == 0) {
        reader.Note(DataProblem::UnknownCompression);
        reader.Plain(runs);
    } else {
        reader.Compressed(runs, unitSectors);
    }
    return reader.problem;
}

DataReadResult ReadFileData(const NtfsVolume& volume, const FileLocation& where, std::uint64_t size,
                            std::uint64_t volumeEnd, const PieceSink& sink, std::u16string_view stream) {
    DataReadResult result;
    auto record = where.sector ? ReadRecordAt(volume, *where.sector) : ReadMftRecord(volume, where.number);
    if (!IsFileRecord(record)) return result;
    ApplyFixups(record);
    const Bytes base(record.data(), record.size());
    // The start of the data may sit in an extension record when the base
    // ran out of room; a name with a colon but no such stream is a file's
    // own POSIX name.
    auto holder = RecordStartingData(volume, base, stream, where.sector);
    if (!holder && !stream.empty()) {
        stream = {};
        holder = RecordStartingData(volume, base, stream, where.sector);
    }
    if (!holder) return result;
    const Bytes view(holder->data(), holder->size());
    const auto data = Find(view, [&](const AttributeRef& a) { return IsDataNamed(view, a, stream); });
    if (!data) return result;
    result.found = true;
    result.problem = RecordProblem(base);
    // The overlay filter replaces the unnamed data only; a stream is as stored.
    if (!stream.empty() && result.problem == DataProblem::OverlayCompressed) result.problem = DataProblem::None;
    if (!data->nonResident) {
        auto value = ResidentValueOf(view, *data);
        if (value && size > 0) sink(value->first(std::min<std::uint64_t>(size, value->size())), PieceOutcome::Read);
        return result;
    }
    const std::uint16_t flags = U16(view, data->offset + hdr::kFlags);
    if (flags & flag::kEncrypted) result.problem = DataProblem::Encrypted;
    const std::uint16_t method = flags & flag::kCompressionMask;
    const bool compressed = method != 0;
    unsigned unitShift = compressed ? U8(view, data->offset + hdr::kCompressionUnit) : 0;
    if (compressed && method != flag::kLznt1) unitShift = 0;  // read as stored, reported below
    const auto runs = where.sector ? CollectFileRuns(volume, *where.sector, stream)
                                   : CollectRecordRuns(volume, where.number, stream);
    const DataProblem runProblem = ReadRunData(volume, runs, size, compressed, unitShift, volumeEnd, sink);
    if (result.problem == DataProblem::None) result.problem = runProblem;
    return result;
}

}  // namespace dravik::analysis::ntfs
