// Every decoder of a FILE record, on arbitrary bytes.
#include <cstdint>
#include <vector>

#include "analysis/ntfs_record.h"
#include "analysis/record_times.h"

using namespace dravik::analysis::ntfs;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The timeline's reading first: it checks the raw update sequence, then
    // fixes the record up itself.
    std::vector<std::uint8_t> raw(data, data + size);
    (void)dravik::analysis::DecodeRecordTimes(raw, u"file", false);
    raw.assign(data, data + size);
    (void)dravik::analysis::DecodeRecordTimes(raw, u"file:stream", false);
    raw.assign(data, data + size);
    (void)dravik::analysis::DecodeRecordTimes(raw, u"folder", true);
    std::vector<std::uint8_t> record(data, data + size);
    auto info = ReadBestFileName(record);  // applies the fixups
    const Bytes view(record);
    (void)info;
    (void)ReadDataSize(view, RecordSize(view));
    (void)ReadDataSize(view, 4096);
    (void)FindDataAttribute(view);
    (void)ReadIndexRootOwner(view);
    (void)ReadIndexAllocationLcn(view, RecordSize(view));
    (void)ReadAttributeListNumbers(view, RecordSize(view));
    (void)ReadStandardTimes(view, dravik::platform::U16(view, 0x14));
    return 0;
}
