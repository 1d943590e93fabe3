// The three prompts of a run: unreadable source sectors, a destination file
// that cannot be created, and one that exists already. Each only collects
// the answer; the sector reader and the copy engine keep it as their
// standing value.
#pragma once

#include <QDialog>
#include <optional>

#include "base/prompter.h"

class QCheckBox;
class QLabel;

namespace dravik::gui {

class SectorsBadStatusAction : public QDialog {
    Q_OBJECT
public:
    explicit SectorsBadStatusAction(QWidget* parent = nullptr);
    QString text() const;
    // Runs the prompt; nullopt when it was closed without an answer.
    std::optional<base::BadSectorAnswer> Ask();

private:
    QLabel* text_;
};

class ErrorCopying : public QDialog {
    Q_OBJECT
public:
    explicit ErrorCopying(QWidget* parent = nullptr);
    QString text() const;
    std::optional<base::CopyErrorAnswer> Ask();

private:
    QLabel* text_;
};

class FileReplaceOptions : public QDialog {
    Q_OBJECT
public:
    explicit FileReplaceOptions(QWidget* parent = nullptr);
    QString text() const;
    QCheckBox* ForAll() const { return forAll_; }
    // Yes, Skip or Rename, "for all" when the box is checked.
    std::optional<base::ReplaceChoice> Ask();

private:
    QLabel* text_;
    QCheckBox* forAll_;
};

}  // namespace dravik::gui
