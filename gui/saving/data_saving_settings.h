// The saving filters: deleted-data mode, extension list and three date
// ranges, edited through the core's settings editor. Apply keeps them,
// Cancel (and Esc) puts back what they were on opening.
#pragma once

#include <QDialog>
#include <array>

#include "saving/saving_settings.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace dravik::app {
class AppContext;
}

namespace dravik::gui {

class CPictureButton;

class DataSavingSettings : public QDialog {
    Q_OBJECT
public:
    explicit DataSavingSettings(app::AppContext& ctx, QWidget* parent = nullptr);

    void Apply();
    void Cancel();

    QRadioButton* ModeButton(saving::DeletedMode mode) const { return modes_[static_cast<std::size_t>(mode)]; }
    QLineEdit* ExtensionEdit() const { return extension_; }
    QListWidget* ExtensionList() const { return list_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* RemoveButton() const { return remove_; }
    QComboBox* DateKindBox() const { return kind_; }
    QComboBox* DateBox(saving::DateList list) const { return dates_[static_cast<std::size_t>(list)]; }
    CPictureButton* ApplyButton() const { return apply_; }
    CPictureButton* CancelButton() const { return cancel_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void reject() override;

private:
    void AddExtension();
    void RemoveExtension();
    void ShowList();
    void ShowDates();

    saving::SavingSettingsEditor editor_;
    std::array<QRadioButton*, 3> modes_{};
    QLineEdit* extension_;
    QListWidget* list_;
    QPushButton* add_;
    QPushButton* remove_;
    QComboBox* kind_;
    std::array<QComboBox*, 6> dates_{};
    CPictureButton* apply_;
    CPictureButton* cancel_;
    bool closed_ = false;
};

}  // namespace dravik::gui
