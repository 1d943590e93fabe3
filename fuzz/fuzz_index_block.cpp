// The INDX check and entry walk, on arbitrary bytes.
#include <cstdint>
#include <vector>

#include "analysis/ntfs_index.h"

using namespace dravik::analysis::ntfs;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> block(data, data + size);
    (void)CheckIndexBlock(Bytes(block).first(std::min<std::size_t>(block.size(), 512)));
    block.resize(std::min(block.size(), IndexBlockBytes(block, 512)));
    ApplyFixups(block);
    for (const auto& e : WalkIndexEntries(block)) (void)e.IsDirectory();
    return 0;
}
