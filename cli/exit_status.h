// The exit statuses of dravik-cli, one set for every command, so that a
// script can tell a finished run from one that needs a look.
#pragma once

namespace dravik::cli::exit_status {

// Everything asked for was done (skipped conflicts count as done).
inline constexpr int kDone = 0;
// The run ended but some files are not whole: unreadable sectors were
// zero-filled, a write failed, a file could not be created or its bytes are
// not its own.
inline constexpr int kIncomplete = 1;
// The command line, a path or a scan log is wrong, or a question that needs
// an answer could not be asked; nothing was done.
inline constexpr int kUsage = 2;
// The source holds nothing to work on: no file system, no partition found,
// nothing selected.
inline constexpr int kNothingFound = 3;
// Stopped at the user's request (Ctrl-C answered Yes), as a shell reports an
// interrupted command.
inline constexpr int kInterrupted = 130;

}  // namespace dravik::cli::exit_status
