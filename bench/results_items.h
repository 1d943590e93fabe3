// The synthetic analysis of the results benchmarks: 200,000 folders up to
// ten deep and 1,000,000 files, 100,000 of them in one folder.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "analysis/item_records.h"
#include "app/app_context.h"

namespace dravik::bench {

constexpr std::uint32_t kFolders = 200'000;
constexpr std::uint32_t kFiles = 1'000'000;
constexpr std::uint32_t kBigFolderFiles = 100'000;
constexpr int kMaxDepth = 10;
constexpr std::uint32_t kFirstNumber = 16;  // NTFS record numbers of ordinary items start here

const char* const kWords[] = {"budget", "report", "invoice", "photo",  "holiday", "draft",  "minutes", "ledger",
                              "summary", "notes", "contract", "backup", "archive", "review", "project", "scan"};
const char* const kExtensions[] = {".doc", ".docx", ".txt", ".jpg", ".pdf", ".xls", ".png", ".mp3",
                                   ".dll", ".exe",  ".htm", ".zip", ".ini", ".log", ".xml", ".odt"};

struct Generator {
    std::mt19937 rng{20240607};
    std::uint32_t Pick(std::uint32_t lo, std::uint32_t hi) {
        return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
    }
    std::u16string Name(bool file, std::uint32_t serial) {
        std::string s = kWords[Pick(0, 15)];
        for (std::uint32_t i = Pick(0, 2); i > 0; --i) (s += ' ') += kWords[Pick(0, 15)];
        s += ' ' + std::to_string(serial);
        if (file) s += kExtensions[Pick(0, 15)];
        return std::u16string(s.begin(), s.end());
    }
    // A FILETIME between 2005 and 2024.
    std::uint64_t Time() {
        constexpr std::uint64_t k2005 = 127495296000000000ull, kYear = 315360000000000ull;
        return k2005 + std::uniform_int_distribution<std::uint64_t>(0, 19 * kYear)(rng);
    }
};

// Fills the stores; returns the number of the folder holding the big group.
inline std::uint32_t Populate(app::AppContext& ctx) {
    Generator g;
    auto& folders = ctx.items.folders;
    auto& files = ctx.items.files;
    std::vector<std::uint32_t> parentOf(kFolders);
    std::vector<std::uint8_t> depthOf(kFolders);
    // A few dozen folders at the top, then each folder under an earlier one,
    // half the time a recent one so that branches grow deep; a parent at the
    // deepest level hands its child to its own parent.
    for (std::uint32_t i = 0; i < kFolders; ++i) {
        std::int64_t parent = -1;
        if (i >= 40) {
            parent = g.Pick(0, 1) ? g.Pick(0, i - 1) : g.Pick(i > 50 ? i - 50 : 0, i - 1);
            while (parent >= 0 && depthOf[parent] >= kMaxDepth) {
                const std::uint32_t up = parentOf[parent];
                parent = up == analysis::kNtfsRoot ? -1 : std::int64_t{up - kFirstNumber};
            }
        }
        parentOf[i] = parent < 0 ? analysis::kNtfsRoot : static_cast<std::uint32_t>(parent) + kFirstNumber;
        depthOf[i] = parent < 0 ? 1 : static_cast<std::uint8_t>(depthOf[parent] + 1);
        const std::u16string name = g.Name(false, i);
        const std::uint64_t t = g.Time();
        folders.AddFolderItem(analysis::ItemName::Wide(name), g.Pick(0, 9) == 0, parentOf[i], i + kFirstNumber, 0, t,
                              t, t, 0);
    }
    // The big folder: one four levels down.
    std::uint32_t big = 0;
    while (depthOf[big] != 4) ++big;
    const std::uint32_t bigNumber = big + kFirstNumber;

    for (std::uint32_t i = 0; i < kFiles; ++i) {
        std::uint32_t parent;
        if (i % 10 == 5) {
            parent = bigNumber;
        } else {
            // Skewed: early (shallow) folders hold more files; some lie in the root.
            const double u = std::uniform_real_distribution<double>(0, 1)(g.rng);
            parent = g.Pick(0, 99) == 0 ? analysis::kNtfsRoot
                                        : static_cast<std::uint32_t>(u * u * (kFolders - 1)) + kFirstNumber;
            if (parent == bigNumber) parent = analysis::kNtfsRoot;
        }
        const std::u16string name = g.Name(true, i);
        const std::uint64_t t = g.Time();
        // One name in ten is an 8.3 name, as FAT and old NTFS entries give.
        if (g.Pick(0, 9) == 0) {
            const std::string narrow(name.begin(), name.end());
            files.AddFileItem(analysis::ItemName::Narrow(narrow), g.Pick(0, 9) == 0, g.Pick(0, 1u << 24), parent, i,
                              0, t, t, t);
        } else {
            files.AddFileItem(analysis::ItemName::Wide(name), g.Pick(0, 9) == 0, g.Pick(0, 1u << 24), parent, i, 0,
                              t, t, t);
        }
    }
    return bigNumber;
}

}  // namespace dravik::bench
