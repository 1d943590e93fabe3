// A prompter that answers from a script and records what it was asked.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "base/prompter.h"

namespace dravik::test {

class ScriptedPrompter : public base::Prompter {
public:
    std::vector<std::string> messages;   // texts of ViewMsgBox
    std::vector<std::string> questions;  // texts of ViewQuestionMsg
    std::deque<int> questionAnswers;     // empty: answers 2 (No)
    int badSectorPrompts = 0;
    std::deque<std::optional<base::BadSectorAnswer>> badSectorAnswers;  // empty: closed without answer
    int copyErrorPrompts = 0;
    std::deque<std::optional<base::CopyErrorAnswer>> copyErrorAnswers;
    int replacePrompts = 0;
    std::deque<std::optional<base::ReplaceChoice>> replaceAnswers;
    std::vector<std::string> fatalErrors;

    void ViewMsgBox(const std::string& text) override { messages.push_back(text); }
    int ViewQuestionMsg(const std::string& text) override {
        questions.push_back(text);
        return Pop(questionAnswers, 2);
    }
    std::optional<base::BadSectorAnswer> SectorsBadStatusAction() override {
        ++badSectorPrompts;
        return Pop(badSectorAnswers, std::optional<base::BadSectorAnswer>{});
    }
    std::optional<base::CopyErrorAnswer> ErrorCopying() override {
        ++copyErrorPrompts;
        return Pop(copyErrorAnswers, std::optional<base::CopyErrorAnswer>{});
    }
    std::optional<base::ReplaceChoice> FileReplaceOptions() override {
        ++replacePrompts;
        return Pop(replaceAnswers, std::optional<base::ReplaceChoice>{});
    }
    void FatalError(const std::string& text) noexcept override { fatalErrors.push_back(text); }

private:
    template <class T>
    static T Pop(std::deque<T>& q, T fallback) {
        if (q.empty()) return fallback;
        T v = q.front();
        q.pop_front();
        return v;
    }
};

}  // namespace dravik::test
