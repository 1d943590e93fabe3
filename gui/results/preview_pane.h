// The preview pane under the results' file list: a selected file is
// extracted into the temporary folder on a worker and shown as a picture,
// a rich-text document or a zip archive's listing; a file that is opened is
// extracted the same way and handed to the desktop's program for it.
#pragma once

#include <QGroupBox>
#include <QImage>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "preview/preview_kind.h"

class QLabel;
class QStackedWidget;
class QTextDocument;
class QTextEdit;
class QTreeWidget;
class QWidget;

namespace dravik::analysis {
struct FileItem;
}
namespace dravik::app {
class AppContext;
}
namespace dravik::base {
class Worker;
}
namespace dravik::preview {
struct RtfDocument;
}

namespace dravik::gui {

class CGradientProgressBar;
class CPictureButton;
class CPictureCtrl;

// One row of an archive's listing.
struct ArchiveEntry {
    QString name;
    QString modified;  // the locale's date and time, empty when the DOS time is none
    quint64 size = 0;
    quint64 compressed = 0;
};

// The central directory of the zip file at `path`, in directory order; its
// entries are never extracted. Names are CP437 unless an entry has the
// UTF-8 flag. nullopt when the file is no readable zip archive.
std::optional<std::vector<ArchiveEntry>> ListZip(const QString& path);

// A document of the rich-text reader as Qt text.
std::unique_ptr<QTextDocument> ToTextDocument(const preview::RtfDocument& doc);

// Opens `path` with the desktop's program for it. When the environment
// names a program in DRAVIK_OPEN_COMMAND, that program is started with the
// path as its one argument instead (the tests' stub opener). False when
// nothing could open it.
bool OpenWithAssociation(const QString& path);

// A picture scaled to the box, its aspect kept.
class CPictureBox : public QWidget {
    Q_OBJECT
public:
    explicit CPictureBox(QWidget* parent = nullptr);
    void SetImage(QImage image);
    const QImage& Image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

class PreviewPane : public QGroupBox {
    Q_OBJECT
public:
    enum class Shown { Idle, NoPreview, Picture, RichText, Archive };

    explicit PreviewPane(app::AppContext& ctx, QWidget* parent = nullptr);
    ~PreviewPane() override;

    // A file row selected: extracted and shown when its name is of a
    // preview kind. False when a preview runs already (the selection is
    // then ignored).
    bool Preview(const analysis::FileItem& file, const QString& name);
    // A file row opened: extracted and opened whatever its kind.
    bool Open(const analysis::FileItem& file, const QString& name);
    // A folder row selected.
    void ShowIdle();
    // Asks, and ends a running extraction early when the answer is Yes.
    void Stop();
    bool Running() const;

    Shown Current() const { return shown_; }
    // The file of the last extraction in the temporary folder.
    QString LastTarget() const { return target_; }
    CPictureBox* PictureBox() const { return picture_; }
    QTextEdit* RichText() const { return richText_; }
    QTreeWidget* ArchiveList() const { return archive_; }
    QWidget* ProgressGroup() const { return progressGroup_; }
    base::Worker& PreviewWorker() { return *worker_; }
    // Called on the worker after each piece written (tests stop there).
    void SetChunkHook(std::function<void(int)> hook) { chunkHook_ = std::move(hook); }

signals:
    // A preview started (true) or ended (false): the page disables its list,
    // tree clicks, Back and Recover meanwhile and enables Stop.
    void BusyChanged(bool busy);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    bool Start(const analysis::FileItem& file, const QString& name, bool openAfterExtract);
    void Extracted(bool written);
    void Show(Shown what);
    void ShowFile(preview::PreviewKind kind);
    void OpenExtracted();

    app::AppContext& ctx_;
    std::unique_ptr<base::Worker> worker_;
    QStackedWidget* stack_;
    CPictureCtrl* idle_;
    CPictureCtrl* noPreview_;
    CPictureBox* picture_;
    QTextEdit* richText_;
    QTreeWidget* archive_;
    QWidget* progressGroup_;
    CGradientProgressBar* progress_;
    CPictureButton* stop_;
    Shown shown_ = Shown::Idle;
    QString target_;
    preview::PreviewKind kind_ = preview::PreviewKind::None;
    bool openAfterExtract_ = false;
    std::function<void(int)> chunkHook_;
};

}  // namespace dravik::gui
