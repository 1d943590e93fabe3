// dravik-cli: disks, analyse, ls, search and recover, over the same core as
// the desktop application.
#include <CLI/CLI.hpp>

#include <iostream>

#include "commands.h"
#include "exit_status.h"
#include "terminal.h"

using namespace dravik::cli;

int main(int argc, char** argv) {
    CLI::App app{"Recovers files from NTFS and FAT volumes, disks and disk images; never writes to the source.",
                 "dravik-cli"};
    app.set_version_flag("--version", std::string("dravik-cli ") + DRAVIK_VERSION);
    app.require_subcommand(1);
    // Every option shows its default in --help.
    app.option_defaults()->always_capture_default();
    app.footer(
        "Exit status:\n"
        "  0  done\n"
        "  1  done, but some files are incomplete (unreadable sectors, write errors, bytes not their own)\n"
        "  2  usage or input error: a wrong option, path, source or scan log; nothing was done\n"
        "  3  nothing found: no file system or partition, or nothing selected to recover\n"
        "  130  stopped with Ctrl-C (128 + the signal's number for other signals)");
    Common common;
    auto addCommon = [&](CLI::App* cmd) {
        cmd->add_option("--image", common.images, "Attach a disk or volume image file as a disk (repeatable)");
        cmd->add_flag("--no-system-disks", common.noSystemDisks, "List only the attached images");
        cmd->add_option("--sector-size", common.sectorSize,
                        "Bytes per sector of the attached images: 512, 1024, 2048 or 4096 (default: what a GPT "
                        "tells, else 512)")
            ->check(CLI::IsMember({512u, 1024u, 2048u, 4096u}));
    };

    bool disksJson = false;
    auto* disks = app.add_subcommand("disks", "List the physical disks with their partitions, and the logical drives");
    addCommon(disks);
    disks->add_flag("--json", disksJson, "Print the catalogue as JSON");

    AnalyseOptions analyse;
    auto* an = app.add_subcommand("analyse", "Analyse a disk, partition, logical drive or image and write a scan log");
    addCommon(an);
    an->add_option("SOURCE", analyse.source, "Disk0, C:, a block device or an image file")->required();
    an->add_option("--mode", analyse.mode, "deleted, formatted or partition")
        ->check(CLI::IsMember({"deleted", "formatted", "partition"}));
    an->add_option("--partition", analyse.partition, "The N-th listed partition (1-based)");
    an->add_option("--range", analyse.range,
                   "START END: the sector range a partition search covers, END the sector after it as disks "
                   "prints it (default: the whole disk)")
        ->expected(2);
    an->add_option("--fs", analyse.fileSystem,
                   "NTFS or FAT (FAT12, FAT16 and FAT32 find every FAT volume): what a partition search looks for "
                   "(default: both)")
        ->check(CLI::IsMember({"NTFS", "FAT", "FAT12", "FAT16", "FAT32"}));
    an->add_option("--volume", analyse.volume,
                   "Partition search: analyse the N-th file system found (default: list them, write no log)");
    an->add_option("--on-bad-sector", analyse.onBadSector, "ask, retry or skip (as for recover)")
        ->check(CLI::IsMember({"ask", "retry", "skip"}));
    an->add_option("--log", analyse.log,
                   "The scan log to write (.qsln is appended); needed unless a partition search only lists");

    ListOptions list;
    auto* ls = app.add_subcommand("ls", "List the folders and files of a scan log");
    addCommon(ls);
    ls->add_option("LOG", list.log, "A scan log")->required();
    ls->add_option("FOLDER", list.folder, "A folder path inside the volume (default: its root)");
    ls->add_flag("-r,--recursive", list.recursive, "List the folders below too");
    ls->add_flag("--deleted", list.deletedOnly, "Only deleted items");
    ls->add_flag("--json", list.json, "One JSON array of items");
    ls->add_flag("--bodyfile", list.bodyfile,
                 "The Sleuth Kit's body-file format, for timeline tools (NTFS change and $FILE_NAME times only "
                 "with the source attached)");

    SearchOptions search;
    auto* se = app.add_subcommand("search", "Search a scan log by name pattern, state, size and date");
    addCommon(se);
    se->add_option("LOG", search.log, "A scan log")->required();
    se->add_option("PATTERN", search.pattern, "Name pattern: text, or with * and ?")->required();
    se->add_option("--deleted", search.deleted, "include, exclude or only")
        ->check(CLI::IsMember({"include", "exclude", "only"}));
    se->add_option("--size", search.size, "FROM TO UNIT (Bytes, KB, MB, GB)")->expected(3);
    se->add_option("--date", search.date, "KIND FROM TO: created|modified|accessed YYYY-MM-DD YYYY-MM-DD")->expected(3);
    se->add_flag("--json", search.json, "One JSON array of hits");

    RecoverOptions recover;
    auto* re = app.add_subcommand("recover", "Write selected items of a scan log to a folder");
    addCommon(re);
    re->add_option("LOG", recover.log, "A scan log")->required();
    re->add_option("--to", recover.to, "The destination folder (on another drive)")->required();
    re->add_option("--select", recover.select, "A folder or file path, or a name pattern (repeatable)");
    re->add_flag("--all", recover.all, "Everything");
    re->add_option("--deleted-mode", recover.deletedMode, "include, exclude or only")
        ->check(CLI::IsMember({"include", "exclude", "only"}));
    re->add_option("--ext", recover.extensions, "Only these extensions, e.g. doc,xls");
    re->add_option("--modified", recover.modified, "FROM TO (YYYY-MM-DD)")->expected(2);
    re->add_option("--created", recover.created, "FROM TO (YYYY-MM-DD)")->expected(2);
    re->add_option("--accessed", recover.accessed, "FROM TO (YYYY-MM-DD)")->expected(2);
    re->add_option("--on-conflict", recover.onConflict, "ask, overwrite, skip or rename")
        ->check(CLI::IsMember({"ask", "overwrite", "skip", "rename"}));
    re->add_option("--on-bad-sector", recover.onBadSector, "ask, retry or skip")
        ->check(CLI::IsMember({"ask", "retry", "skip"}));
    re->add_option("--on-error", recover.onError, "ask, skip or abort")->check(CLI::IsMember({"ask", "skip", "abort"}));
    re->add_flag("--yes", recover.yes, "Answer Yes to questions (e.g. too little free space)");
    re->add_option("--report", recover.report, "Write a JSON report of every selected file");
    re->add_flag("--allow-same-device", recover.allowSameDevice,
                 "Save even onto the device being recovered, or the file system holding its image");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end the parse too; they are no error.
        const int status = app.exit(e);
        return status == 0 ? exit_status::kDone : exit_status::kUsage;
    }
    InstallInterruptHandler();
    try {
        if (*disks) return RunDisks(common, disksJson);
        if (*an) return RunAnalyse(common, analyse);
        if (*ls) return RunList(common, list);
        if (*se) return RunSearch(common, search);
        if (*re) return RunRecover(common, recover);
    } catch (const CliError& e) {
        std::cerr << "dravik-cli: " << e.what() << "\n";
        return e.status;
    }
    return exit_status::kDone;
}
