// How the core tells and asks the user. The GUI implements it with modal
// dialogs (queued to the GUI thread), the command line with terminal prompts,
// tests with a script. Prompts may be called from worker threads; each call
// blocks until the user answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dravik::base {

// The user's standing answer to an unreadable sector.
enum class BadSectorAnswer : std::int32_t { RetryOnce = 0, SkipOnce = 1, RetryAll = 2, SkipAll = 3 };

// Answers of the "file cannot be created" prompt.
enum class CopyErrorAnswer { Skip, SkipAll, Abort };

// Answers of the "file exists" prompt; the values are the standing
// replace choice.
enum class ReplaceChoice : int { Yes = 0, Skip = 1, YesForAll = 2, SkipForAll = 3, Rename = 4, RenameForAll = 5 };

class Prompter {
public:
    virtual ~Prompter() = default;

    // One-button message.
    virtual void ViewMsgBox(const std::string& text) = 0;
    // Yes/no question: 1 for Yes, 2 for No (also when closed otherwise).
    virtual int ViewQuestionMsg(const std::string& text) = 0;

    // The three prompts of a run. std::nullopt means the prompt was closed
    // without an answer: the caller keeps its standing value.
    virtual std::optional<BadSectorAnswer> SectorsBadStatusAction() = 0;
    virtual std::optional<CopyErrorAnswer> ErrorCopying() = 0;
    virtual std::optional<ReplaceChoice> FileReplaceOptions() = 0;

    // A system-modal error message shown just before the process ends
    // ("Out Of Memory"). Must not throw or allocate much.
    virtual void FatalError(const std::string& text) noexcept = 0;
};

}  // namespace dravik::base
