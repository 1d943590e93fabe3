// Runs analyses of the test images on the test's thread, with a fresh
// application context per harness.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "analysis/pipeline.h"
#include "analysis/volume_geometry.h"
#include "app/app_context.h"
#include "base/progress.h"
#include "platform/text.h"
#include "support/scripted_prompter.h"
#include "support/test_images.h"

namespace dravik::test {

// Records what a task showed, for tests that check texts.
class RecordingProgress : public base::ProgressSink {
public:
    std::vector<std::string> steps;
    std::map<base::ProgressField, std::string> last;
    std::vector<int> percents;
    int hides = 0;
    int restarts = 0;
    // Called after each text, on the worker's thread: tests act from here at
    // a known point of the task.
    std::function<void(base::ProgressField, const std::string&)> onText;

    void SetText(base::ProgressField field, const std::string& text) override {
        if (field == base::ProgressField::Step) steps.push_back(text);
        last[field] = text;
        if (onText) onText(field, text);
    }
    void SetPercent(int percent) override { percents.push_back(percent); }
    void HideDetails() override { ++hides; }
    void RestartElapsed() override { ++restarts; }
};

// Serves chosen sectors of a real image with other bytes (a damaged or
// overwritten structure), everything else as the image holds it.
class PatchedDevice final : public source::SectorDevice {
public:
    PatchedDevice(std::unique_ptr<source::SectorDevice> inner, std::map<std::uint64_t, std::vector<std::uint8_t>> patches)
        : inner_(std::move(inner)), patches_(std::move(patches)) {}
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buf) override {
        if (!inner_->ReadAt(offset, buf)) return false;
        for (const auto& [sector, bytes] : patches_) {
            const std::uint64_t at = sector * 512;
            if (at + bytes.size() <= offset || at >= offset + buf.size()) continue;
            for (std::size_t i = 0; i < bytes.size(); ++i)
                if (at + i >= offset && at + i < offset + buf.size()) buf[at + i - offset] = bytes[i];
        }
        return true;
    }
    std::uint64_t Size() const override { return inner_->Size(); }

private:
    std::unique_ptr<source::SectorDevice> inner_;
    std::map<std::uint64_t, std::vector<std::uint8_t>> patches_;
};

inline source::DeviceOpenFn Patched(std::map<std::uint64_t, std::vector<std::uint8_t>> patches) {
    return [patches](const platform::DeviceBacking& b) -> std::unique_ptr<source::SectorDevice> {
        auto dev = source::OpenPosixDevice(b);
        if (!dev) return nullptr;
        return std::make_unique<PatchedDevice>(std::move(dev), patches);
    };
}

class AnalysisHarness {
public:
    explicit AnalysisHarness(source::DeviceOpenFn open = source::OpenPosixDevice) : ctx(prompter, std::move(open)) {}

    ScriptedPrompter prompter;
    app::AppContext ctx;
    base::WorkerControl control;
    RecordingProgress sink;
    analysis::AnalysisProgress progress{sink};
    analysis::AnalysisEnv env{ctx, control, progress};

    // Selects the image as Disk0 and the sector range [start, end) of it as
    // the partition (end 0: the whole image).
    void Select(const std::filesystem::path& image, const std::string& label, std::uint64_t start = 0,
                std::uint64_t end = 0) {
        ctx.devices.SetDisk(0, {image.string()});
        ctx.source.SelectPhysicalDisk(0);
        ctx.source.StartSector = start;
        ctx.source.EndSector = end ? end : std::filesystem::file_size(image) / 512;
        ctx.source.PartitionLabel = label;
    }

    analysis::AnalysisOutcome Run(analysis::RecoveryMode mode) {
        ctx.analysis.settings.mode = mode;
        ctx.analysis.settings.formatted = mode == analysis::RecoveryMode::Formatted;
        ctx.source.BadSectorPolicy = base::BadSectorAnswer::RetryOnce;
        geometryRead = analysis::ReadVolumeGeometry(ctx);
        analysis::PrepareAnalysis(ctx);
        return analysis::RunAnalysis(env);
    }

    bool geometryRead = false;

    // Item lookups by number.
    std::map<std::uint32_t, std::vector<const analysis::FileItem*>> FilesByNumber() const {
        std::map<std::uint32_t, std::vector<const analysis::FileItem*>> out;
        for (const auto& f : ctx.items.files) out[f.number].push_back(&f);
        return out;
    }

    template <class Item>
    static std::string Name(const Item& item) {
        if (item.nameA) return std::string(analysis::NarrowName(item));
        return platform::Utf16ToUtf8(analysis::WideName(item));
    }
};

}  // namespace dravik::test
