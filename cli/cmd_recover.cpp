// dravik-cli recover: selected items of a scan log written to a folder, with
// the filters, prompts and final result of a save run.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "base/size_text.h"
#include "commands.h"
#include "platform/md5.h"
#include "platform/text.h"
#include "results/item_text.h"
#include "results/search.h"
#include "run_support.h"
#include "saving/copy_engine.h"
#include "saving/destination.h"
#include "saving/destination_guard.h"
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

// The save's progress on stderr; Ctrl-C asks before the run is ended.
class CopyLine final : public saving::CopyProgressSink {
public:
    CopyLine(Session& s, base::WorkerControl& control) : s_(s), control_(control), enabled_(StderrIsTerminal()) {}
    ~CopyLine() override { Clear(); }
    void SetText(saving::CopyField field, const std::string& text) override {
        if (field == saving::CopyField::DataCopied) copied_ = text;
        if (field == saving::CopyField::TimeLeft) left_ = text;
        if (field == saving::CopyField::LastDataName) name_ = text;
    }
    void SetFilePercent(int) override { Check(); }
    void SetOverallPercent(int percent) override {
        Check();
        if (!enabled_) return;
        std::fprintf(stderr, "\r\x1b[K%3d%% %s  left %s  %s", percent, copied_.c_str(), left_.c_str(), name_.c_str());
        drawn_ = true;
    }
    void Clear() {
        if (drawn_) std::fputs("\r\x1b[K", stderr);
        drawn_ = false;
    }

private:
    void Check() {
        if (!TakeInterrupt()) return;
        Clear();
        if (s_.prompter.ViewQuestionMsg(saving::text::kStopQuestion) == 1) {
            s_.prompter.ViewMsgBox(saving::text::kAborted);
            control_.Terminate();
        }
    }
    Session& s_;
    base::WorkerControl& control_;
    bool enabled_;
    bool drawn_ = false;
    std::string copied_, left_, name_;
};

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
    Session s;
    s.Catalogue(common.images, !common.noSystemDisks);
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

    if (!o.allowSameDevice)
        if (const std::string refusal = saving::DestinationOnSource(ctx, o.to); !refusal.empty())
            throw CliError(refusal + " (--allow-same-device saves there all the same)");
    ctx.saveRun.ResetForDestination();
    if (!saving::CheckDestination(ctx, o.to)) return 2;
    base::WorkerControl control;
    saving::CalculateDataSize(ctx, view->Tree(), control);
    std::cerr << "Total Files      :- " << ctx.saveRun.selectedCount << "\n"
              << "Data Size       :- " << saving::DataSizeText(ctx.saveRun.selectedBytes) << "\n";
    switch (saving::DecideAfterSizeWalk(ctx)) {
        case saving::DestinationDecision::CloseDialog:
        case saving::DestinationDecision::StayInDialog:
            return 1;
        case saving::DestinationDecision::Save:
            break;
    }
    ctx.saveRun.ResetForProgress();
    CopyLine line(s, control);
    saving::CopyEngine engine(ctx, control, &line);
    nlohmann::json report = nlohmann::json::array();
    const auto& tree = view->Tree();
    engine.SetReport([&](const saving::FileReport& r) {
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
                          {"md5", written ? nlohmann::json(platform::Md5::OfFile(r.destination)) : nlohmann::json(nullptr)},
                          {"deleted", r.file->deleted == analysis::kYes},
                          {"outcome", OutcomeText(r)},
                          {"reason", r.reason}});
        // A name the destination cannot take as it is (a NUL or '/' in it).
        const std::string name = results::DisplayName(*r.file);
        if (saving::SafeName(name) != name) report.back()["name"] = "made safe";
    });
    const auto outcome = engine.RunSave(tree);
    line.Clear();
    if (!o.report.empty()) {
        std::ofstream out(o.report);
        out << report.dump(2) << "\n";
        if (!out) throw CliError("the report could not be written to " + o.report);
    }
    return outcome == saving::SaveOutcome::Completed ? 0 : 1;
}

}  // namespace dravik::cli
