// dravik-cli recover: selected items of a scan log written to a folder, with
// the filters, prompts and final result of a save run.
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <thread>

#include "app/save_workflow.h"
#include "base/size_text.h"
#include "commands.h"
#include "exit_status.h"
#include "platform/text.h"
#include "results/item_text.h"
#include "results/search.h"
#include "run_support.h"
#include "saving/copy_engine.h"
#include "saving/destination.h"
#include "saving/destination_paths.h"
#include "saving/saving_settings.h"
#include "session.h"

namespace dravik::cli {

namespace {

namespace fs = std::filesystem;
using saving::FileOutcome;

const char* OutcomeText(const saving::FileReport& r) {
    switch (r.outcome) {
        case FileOutcome::Written:
        case FileOutcome::Renamed:
            if (r.zeroFilledSectors) return "unreadable sectors zero-filled";
            return r.outcome == FileOutcome::Renamed ? "renamed" : "written";
        case FileOutcome::SkippedByFilter: return "skipped by filter";
        case FileOutcome::SkippedAtConflict: return "skipped at conflict";
        case FileOutcome::FailedToCreate: return "failed to create";
        case FileOutcome::WriteFailed: return "write failed";
        case FileOutcome::Incomplete: return "incomplete";
        case FileOutcome::NotExact: return "not exact";
    }
    return "";
}

// Dates of the command line (YYYY-MM-DD) as the settings' list selections.
saving::DateSelections Selections(const std::vector<std::string>& range) {
    saving::DateSelections s{};
    for (int i = 0; i < 2; ++i) {
        const auto d = ParseDay(range[i]);
        if (!d || d->year < saving::kFirstListYear || d->year > 2030)
            throw CliError("a date is written YYYY-MM-DD, from 1970 to 2030: " + range[i]);
        s[i * 3 + 0] = d->day - 1;
        s[i * 3 + 1] = d->month - 1;
        s[i * 3 + 2] = d->year - saving::kFirstListYear;
    }
    return s;
}

// The save's progress on stderr, drawn on the worker's thread from the
// run's numbers; the file in hand is also what the replace prompt names.
class CopyLine final : public saving::CopyProgressSink, public StatusLine {
public:
    explicit CopyLine(Session& s) : s_(s) {}
    void Update(const saving::CopyCounts& c) override {
        const auto texts = saving::CopyProgressTexts::Of(c);
        if (!c.file.empty()) s_.prompter.currentFile = texts.folderName + texts.lastDataName;
        const auto percent = saving::OverallPercent(c);
        if (!Enabled() || !percent) return;
        // The remaining time from this run's own rate, once there is one: a
        // guess from the first instant of a run would say "0:00:00".
        const std::uint64_t written = c.bytesWritten, total = c.selectedBytes;
        const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        std::string left = "estimating";
        if (written > 0 && elapsed >= 1.0 && total > written)
            // Rounded up: "0:00:00" only once nothing is left.
            left = ClockText(std::chrono::seconds(static_cast<long long>(
                std::ceil(elapsed * static_cast<double>(total - written) / static_cast<double>(written)))));
        else if (written >= total)
            left = ClockText(std::chrono::seconds(0));
        Draw(base::Format("%3d%% %s of %s  left %s  %s", *percent, BinarySize(written).c_str(),
                          BinarySize(total).c_str(), left.c_str(), Escaped(texts.lastDataName).c_str()));
    }

private:
    Session& s_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Waits for the save to end. A signal (or Ctrl-C with no terminal to ask)
// ends it after the piece in hand, so the file it belongs to is not left
// short; Ctrl-C asks first, once the run is held between two pieces (a
// prompt the worker shows is answered before).
void WaitForSave(Session& s, app::SaveRunner& runner, CopyLine& line) {
    using namespace std::chrono_literals;
    auto& control = runner.Control();
    while (runner.Running()) {
        std::this_thread::sleep_for(10ms);
        if (EndRequested()) {
            if (!control.Terminated()) control.Terminate();
            continue;
        }
        if (!TakeInterrupt()) continue;
        control.Pause();
        while (runner.Running() && !control.WaitParked(50ms)) {
            if (EndRequested()) control.Terminate();
        }
        if (!runner.Running() || control.Terminated()) {
            control.Resume();
            continue;
        }
        line.Clear();
        if (s.prompter.ViewQuestionMsg(saving::text::kStopQuestion) == 1) {
            s.prompter.ViewMsgBox(saving::text::kAborted);
            control.Terminate();
        }
        control.Resume();
    }
    runner.Join();
    if (const auto failure = runner.Failure()) std::rethrow_exception(failure);
}

// Says what is wrong with a destination the save could not use, before the
// core's own check, whose message asks the desktop user to choose a folder.
void CheckDestinationPath(const std::string& to) {
    std::error_code ec;
    fs::path level = fs::absolute(to, ec);
    if (ec) throw CliError("the destination " + to + ": " + ec.message());
    // The deepest level that exists: the folders below it are to be made.
    while (!fs::exists(fs::symlink_status(level, ec)) && level.has_relative_path()) level = level.parent_path();
    if (!fs::is_directory(level, ec))
        throw CliError(level == fs::absolute(to) ? "the destination " + to + " is a file, not a folder"
                                                 : "the destination " + to + " cannot be made: " + level.string() +
                                                       " is a file, not a folder");
    if (::access(level.c_str(), W_OK | X_OK) != 0) {
        const int error = errno;
        throw CliError("the destination " + to + " cannot be written" +
                       (level == fs::absolute(to) ? std::string() : " (its folder " + level.string() + ")") + ": " +
                       (error == EACCES || error == EPERM ? std::string("permission denied; choose a folder you may "
                                                                        "write to")
                                                          : std::string(std::strerror(error))));
    }
}

// Checks what --select names: a folder or file path, or a name pattern.
void Select(results::ResultsView& view, const std::string& what) {
    auto& tree = view.Tree();
    if (what.find_first_of("*?") != std::string::npos) {
        results::SearchCriteria c;
        c.name = platform::Utf8ToUtf16(what);
        base::WorkerControl control;
        auto hits = results::RunSearch(view, c, control);
        if (hits.Empty()) throw CliError("nothing matches " + what);
        results::SetAllHitsChecked(view, hits, true, control);
        return;
    }
    const std::u16string path = TreePath(what);
    if (const auto folders = tree.NodesAtPath(path); !folders.empty() && folders.front() != tree.Root()) {
        if (!tree.Node(folders.front()).checked) view.ToggleNode(folders.front());
        return;
    }
    // A file: its folder's node, then the file among that folder's rows.
    const auto slash = path.rfind(u'\\');
    const std::u16string folder = slash == std::u16string::npos ? u"" : path.substr(0, slash);
    const std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
    for (const auto n : tree.NodesAtPath(folder)) {
        view.ShowFolder(tree.FolderNumber(n));
        for (const auto& row : view.Rows())
            if (row.file && results::DisplayName16(*row.file) == name) return view.SetFileChecked(*row.file, true, n);
    }
    throw CliError("no folder or file " + what + " in the scan log");
}

}  // namespace

int RunRecover(const Common& common, const RecoverOptions& o) {
    CatchEndSignals();
    Session s;
    s.Catalogue(common.images, !common.noSystemDisks, common.sectorSize);
    auto view = LoadLog(s, o.log, true);
    auto& ctx = *s.ctx;

    if (!o.all && o.select.empty()) throw CliError("choose what to recover: --all or --select PATH|PATTERN");
    if (o.all) view->ToggleNode(view->Tree().Root());
    for (const auto& what : o.select) Select(*view, what);

    {
        saving::SavingSettingsEditor editor(ctx.savingSettings, s.prompter);
        editor.SetMode(o.deletedMode == "exclude" ? saving::DeletedMode::Exclude
                       : o.deletedMode == "only"  ? saving::DeletedMode::Only
                                                  : saving::DeletedMode::Include);
        std::string ext = o.extensions;
        for (std::size_t at = 0; !ext.empty();) {
            const auto comma = ext.find(',', at);
            const std::string one = ext.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
            if (!one.empty() && !editor.AddExtension(platform::Utf8ToUtf16(one))) throw CliError("extension " + one);
            if (comma == std::string::npos) break;
            at = comma + 1;
        }
        const std::pair<results::TimeKind, const std::vector<std::string>*> ranges[] = {
            {results::TimeKind::Modified, &o.modified}, {results::TimeKind::Created, &o.created},
            {results::TimeKind::Accessed, &o.accessed}};
        for (const auto& [kind, range] : ranges) {
            if (range->size() != 2) continue;
            editor.ChooseDateKind(kind);
            editor.SetDateLists(Selections(*range));
        }
        editor.Apply();
    }

    // Standing answers; without a terminal an "ask" that comes up is an error.
    if (o.onConflict == "overwrite") s.prompter.replace = base::ReplaceChoice::YesForAll;
    if (o.onConflict == "skip") s.prompter.replace = base::ReplaceChoice::SkipForAll;
    if (o.onConflict == "rename") s.prompter.replace = base::ReplaceChoice::RenameForAll;
    if (o.onBadSector == "retry") ctx.source.BadSectorPolicy = base::BadSectorAnswer::RetryAll;
    if (o.onBadSector == "skip") ctx.source.BadSectorPolicy = base::BadSectorAnswer::SkipAll;
    if (o.onError == "skip") s.prompter.copyError = base::CopyErrorAnswer::SkipAll;
    if (o.onError == "abort") s.prompter.copyError = base::CopyErrorAnswer::Abort;
    s.prompter.yes = o.yes;

    // The command line's own words for a path it cannot use come first.
    CheckDestinationPath(o.to);
    const auto check = app::CheckSaveDestination(ctx, o.to, o.allowSameDevice);
    if (check.result == app::DestinationCheck::Result::OnSource)
        throw CliError(check.refusal + " (--allow-same-device saves there all the same)");
    if (!check) return exit_status::kUsage;
    const auto& tree = view->Tree();
    {
        app::SizeRun size(ctx, tree);
        size.Start();
        size.Join();
        if (const auto failure = size.Failure()) std::rethrow_exception(failure);
    }
    std::cerr << "Total Files      :- " << ctx.saveRun.selectedCount << "\n"
              << "Data Size       :- " << saving::DataSizeText(ctx.saveRun.selectedBytes) << "\n";
    switch (app::DecideAfterSizeWalk(ctx)) {
        case saving::DestinationDecision::CloseDialog:  // nothing selected (told)
            return exit_status::kNothingFound;
        case saving::DestinationDecision::StayInDialog:  // too little room, and not saved
            return exit_status::kUsage;
        case saving::DestinationDecision::Save:
            break;
    }
    CopyLine line(s);
    app::SaveRunner runner(ctx, tree);
    nlohmann::json report = nlohmann::json::array();
    runner.SetHashing(!o.report.empty());
    runner.SetReport([&](const saving::FileReport& r) {
        if (o.report.empty()) return;
        const auto node = tree.NodeOfFolder(ctx.items.folders, r.file->parent);
        std::u16string source = node ? tree.Path(node) : u"";
        std::replace(source.begin(), source.end(), u'\\', u'/');
        if (!source.empty()) source += u'/';
        source += results::DisplayName16(*r.file);
        const bool written = r.outcome == FileOutcome::Written || r.outcome == FileOutcome::Renamed ||
                             r.outcome == FileOutcome::Incomplete || r.outcome == FileOutcome::WriteFailed ||
                             r.outcome == FileOutcome::NotExact;
        report.push_back({{"source", platform::Utf16ToUtf8(source)},
                          {"destination", r.destination.string()},
                          {"size", r.file->size},
                          {"written", r.written},
                          {"md5", written && !r.md5.empty() ? nlohmann::json(r.md5) : nlohmann::json(nullptr)},
                          {"deleted", r.file->deleted == analysis::kYes},
                          {"outcome", OutcomeText(r)},
                          {"reason", r.reason},
                          {"unreadable_sectors", r.zeroFilledSectors},
                          {"unreadable_offsets", r.zeroFilledOffsets}});
        // A name the destination cannot take as it is (a NUL or '/' in it).
        const std::string name = results::DisplayName(*r.file);
        if (saving::SafeName(name) != name) report.back()["name"] = "made safe";
    });
    runner.Start(&line);
    WaitForSave(s, runner, line);
    const auto outcome = runner.Outcome();
    line.Clear();
    if (!o.report.empty()) {
        std::ofstream out(o.report);
        out << report.dump(2) << "\n";
        if (!out) throw CliError("the report could not be written to " + o.report);
    }
    if (EndSignal()) {
        std::cerr << "dravik-cli: recovery stopped by a signal; files not finished were not kept"
                  << (o.report.empty() ? "" : ", the report lists what was written") << "\n";
        return InterruptedStatus();
    }
    return outcome == saving::SaveOutcome::Completed ? 0 : 1;
}

}  // namespace dravik::cli
