#include "results/preview_pane.h"

#include <zip.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <ctime>

#include "analysis/item_records.h"
#include "app/app_context.h"
#include "app/message_dialogs.h"
#include "base/worker.h"
#include "controls/gradient_progress.h"
#include "controls/labels.h"
#include "controls/picture_button.h"
#include "preview/rtf_reader.h"
#include "saving/copy_engine.h"
#include "saving/destination_paths.h"

namespace dravik::gui {

namespace {

constexpr const char* kWaitText = "Please wait while generating preview......";
constexpr const char* kNoProgram =
    "There is no program to open this file with. Do you want to see it in its folder?";
// Rich text larger than this is not read whole into the box.
constexpr qint64 kMaxRichText = 16 << 20;

// The locale's date and time ("%c") of a time the archive gave.
QString LocalDateTime(time_t t) {
    std::tm tm{};
    if (t == static_cast<time_t>(-1) || !localtime_r(&t, &tm)) return {};
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, "%c", &tm);
    return QString::fromLocal8Bit(text, static_cast<qsizetype>(n));
}

}  // namespace

std::optional<std::vector<ArchiveEntry>> ListZip(const QString& path) {
    int error = 0;
    // Opening reads the end record and the central directory, nothing else
    // (no consistency check against the local headers).
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!zip) return std::nullopt;
    std::unique_ptr<zip_t, decltype(&zip_discard)> closer(zip, &zip_discard);
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    if (count < 0) return std::nullopt;
    std::vector<ArchiveEntry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip, index, ZIP_FL_ENC_STRICT, &st) != 0) return std::nullopt;
        ArchiveEntry e;
        // Strict: CP437 unless the entry's UTF-8 flag (bit 11) is set; no
        // guessing from the bytes.
        const char* name = zip_get_name(zip, index, ZIP_FL_ENC_STRICT);
        e.name = QString::fromUtf8(name ? name : "");
        if (st.valid & ZIP_STAT_MTIME) e.modified = LocalDateTime(st.mtime);
        if (st.valid & ZIP_STAT_SIZE) e.size = st.size;
        if (st.valid & ZIP_STAT_COMP_SIZE) e.compressed = st.comp_size;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::unique_ptr<QTextDocument> ToTextDocument(const preview::RtfDocument& doc) {
    auto out = std::make_unique<QTextDocument>();
    QTextCursor cursor(out.get());
    bool first = true;
    for (const auto& p : doc.paragraphs) {
        QTextBlockFormat block;
        switch (p.alignment) {
            case preview::Alignment::Left: block.setAlignment(Qt::AlignLeft); break;
            case preview::Alignment::Center: block.setAlignment(Qt::AlignHCenter); break;
            case preview::Alignment::Right: block.setAlignment(Qt::AlignRight); break;
            case preview::Alignment::Justify: block.setAlignment(Qt::AlignJustify); break;
        }
        if (first) cursor.setBlockFormat(block);
        else cursor.insertBlock(block);
        first = false;
        for (const auto& r : p.runs) {
            QTextCharFormat f;
            f.setFontWeight(r.bold ? QFont::Bold : QFont::Normal);
            f.setFontItalic(r.italic);
            f.setFontUnderline(r.underline);
            f.setFontPointSize(r.halfPoints / 2.0);
            if (!r.font.empty()) f.setFontFamilies({QString::fromStdString(r.font)});
            if (!r.color.automatic) f.setForeground(QColor(r.color.red, r.color.green, r.color.blue));
            cursor.insertText(QString::fromStdU16String(r.text), f);
        }
    }
    return out;
}

bool OpenWithAssociation(const QString& path) {
    const QByteArray stub = qgetenv("DRAVIK_OPEN_COMMAND");
    if (!stub.isEmpty()) return QProcess::startDetached(QString::fromLocal8Bit(stub), {path});
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

CPictureBox::CPictureBox(QWidget* parent) : QWidget(parent) {}

void CPictureBox::SetImage(QImage image) {
    image_ = std::move(image);
    update();
}

void CPictureBox::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSize fitted = image_.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    painter.drawImage(target, image_);
}

PreviewPane::PreviewPane(app::AppContext& ctx, QWidget* parent)
    : QGroupBox(QStringLiteral("Preview"), parent), ctx_(ctx), worker_(std::make_unique<base::Worker>()) {
    QFont captionFont(QStringLiteral("MS Shell Dlg"));
    captionFont.setBold(true);
    setFont(captionFont);
    QFont plain(QStringLiteral("MS Sans Serif"));
    plain.setPointSize(9);

    stack_ = new QStackedWidget(this);
    idle_ = new CPictureCtrl("\\NoPreview.bmp", stack_);
    noPreview_ = new CPictureCtrl("\\NoPreview.bmp", stack_);
    noPreview_->setObjectName(QStringLiteral("noPreview"));
    picture_ = new CPictureBox(stack_);
    richText_ = new QTextEdit(stack_);
    richText_->setReadOnly(true);
    richText_->setFont(plain);
    archive_ = new QTreeWidget(stack_);
    archive_->setFont(plain);
    archive_->setRootIsDecorated(false);
    archive_->setHeaderLabels({QStringLiteral("File Name"), QStringLiteral("Modified Date"),
                               QStringLiteral("Actual Size"), QStringLiteral("Compressed Size")});
    archive_->header()->setStretchLastSection(false);
    for (QWidget* w : std::initializer_list<QWidget*>{idle_, noPreview_, picture_, richText_, archive_})
        stack_->addWidget(w);
    stack_->setMinimumHeight(150);

    progressGroup_ = new QWidget(this);
    progress_ = new CGradientProgressBar(progressGroup_);
    stop_ = new CPictureButton(QStringLiteral("&Stop"), "\\Stop-btn.bmp", progressGroup_);
    stop_->setAutoDefault(false);
    auto* wait = new CTransparentLabel(QString::fromUtf8(kWaitText), progressGroup_);
    wait->setFont(plain);
    auto* progressLayout = new QHBoxLayout(progressGroup_);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->addWidget(wait);
    progressLayout->addWidget(progress_, 1);
    progressLayout->addWidget(stop_);
    progressGroup_->hide();
    connect(stop_, &QPushButton::clicked, this, &PreviewPane::Stop);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(stack_, 1);
    layout->addWidget(progressGroup_);
    Show(Shown::Idle);
}

PreviewPane::~PreviewPane() {
    // The worker reads the items and writes into this pane's flags.
    worker_->End();
}

bool PreviewPane::Running() const { return worker_->Running(); }

void PreviewPane::Show(Shown what) {
    shown_ = what;
    switch (what) {
        case Shown::Idle: stack_->setCurrentWidget(idle_); break;
        case Shown::NoPreview: stack_->setCurrentWidget(noPreview_); break;
        case Shown::Picture: stack_->setCurrentWidget(picture_); break;
        case Shown::RichText: stack_->setCurrentWidget(richText_); break;
        case Shown::Archive: stack_->setCurrentWidget(archive_); break;
    }
}

void PreviewPane::ShowIdle() {
    if (Running()) return;
    Show(Shown::Idle);
}

bool PreviewPane::Preview(const analysis::FileItem& file, const QString& name) { return Start(file, name, false); }

bool PreviewPane::Open(const analysis::FileItem& file, const QString& name) { return Start(file, name, true); }

bool PreviewPane::Start(const analysis::FileItem& file, const QString& name, bool openAfterExtract) {
    if (Running()) return false;
    worker_->Join();
    openAfterExtract_ = openAfterExtract;
    const std::string utf8 = name.toStdString();
    kind_ = openAfterExtract ? preview::PreviewKind::None : preview::KindOfName(utf8);

    // Every missing level of the temporary folder is created.
    const QString temp = QDir::tempPath();
    QDir().mkpath(temp);
    const auto target = preview::PreviewTarget(QFile::encodeName(temp).toStdString(), utf8);
    target_ = QFile::decodeName(QByteArray::fromStdString(target.string()));
    const auto& fs = ctx_.analysis.geometry.fileSystem;
    const bool extractable = !target.empty() && (fs == "NTFS" || fs == "FAT12" || fs == "FAT16" || fs == "FAT32");
    if (!openAfterExtract && kind_ == preview::PreviewKind::None) {
        Show(Shown::NoPreview);
        return true;
    }

    emit BusyChanged(true);
    Show(Shown::NoPreview);
    stack_->hide();
    progress_->SetPos(0);
    progressGroup_->show();
    const analysis::FileItem* item = &file;
    const bool started = worker_->Start([this, item, target, extractable](base::WorkerControl& control) {
        bool written = false;
        if (extractable) {
            saving::CopyEngine engine(ctx_, control);
            written = engine.ExtractFile(*item, target, &control, [this](int percent) {
                QMetaObject::invokeMethod(progress_, [this, percent] { progress_->SetPos(percent); },
                                          Qt::QueuedConnection);
                if (chunkHook_) chunkHook_(percent);
            });
        }
        QMetaObject::invokeMethod(this, [this, written] { Extracted(written); }, Qt::QueuedConnection);
    });
    if (!started) Extracted(false);
    return true;
}

void PreviewPane::Stop() {
    if (!Running()) return;
    base::WorkerControl& control = worker_->Control();
    control.Pause();
    // Yes ends the extraction after the piece in hand; what was written is
    // kept and shown as nothing.
    if (AskQuestion(this, saving::text::kStopQuestion) == 1) control.RequestStop();
    control.Resume();
}

void PreviewPane::Extracted(bool written) {
    worker_->Join();
    progressGroup_->hide();
    stack_->show();
    preview::PreviewKind kind = kind_;
    const bool stopped = worker_->Control().StopRequested();
    worker_->Control().ClearStop();
    if (stopped) kind = preview::PreviewKind::None;
    // A file that could not be created at all (a link planted under its
    // name, a full folder) shows nothing and is not opened.
    if (!QFileInfo::exists(target_) || QFileInfo(target_).isSymLink()) kind = preview::PreviewKind::None;
    else if (openAfterExtract_ && !stopped) OpenExtracted();
    (void)written;  // a partly read file is still shown for what it holds
    ShowFile(kind);
    emit BusyChanged(false);
}

void PreviewPane::OpenExtracted() {
    if (OpenWithAssociation(target_)) return;
    if (AskQuestion(this, kNoProgram) == 1)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(target_).absolutePath()));
}

void PreviewPane::ShowFile(preview::PreviewKind kind) {
    switch (kind) {
        case preview::PreviewKind::Picture: {
            QImageReader reader(target_);
            reader.setDecideFormatFromContent(true);
            reader.setAutoTransform(true);
            QImage image = reader.read();
            if (image.isNull()) break;
            picture_->SetImage(std::move(image));
            Show(Shown::Picture);
            return;
        }
        case preview::PreviewKind::RichText: {
            QFile file(target_);
            if (!file.open(QIODevice::ReadOnly)) break;
            const QByteArray data = file.read(kMaxRichText);
            preview::RtfDocument doc;
            if (!preview::ReadRtf(std::string_view(data.constData(), static_cast<std::size_t>(data.size())), doc))
                break;
            // Parented to the box: the next setDocument deletes it, as it
            // deletes this one's predecessor.
            auto text = ToTextDocument(doc);
            text->setParent(richText_);
            richText_->setDocument(text.release());
            Show(Shown::RichText);
            return;
        }
        case preview::PreviewKind::Archive: {
            archive_->clear();
            const auto entries = ListZip(target_);
            if (!entries) break;
            QList<QTreeWidgetItem*> rows;
            for (const auto& e : *entries)
                rows << new QTreeWidgetItem({e.name, e.modified, QString::number(e.size), QString::number(e.compressed)});
            archive_->addTopLevelItems(rows);
            Show(Shown::Archive);
            return;
        }
        case preview::PreviewKind::None: break;
    }
    Show(Shown::NoPreview);
}

void PreviewPane::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    // The four columns share the pane's width.
    const int quarter = std::max(40, archive_->viewport()->width() / 4);
    for (int c = 0; c < 4; ++c) archive_->setColumnWidth(c, quarter);
}

}  // namespace dravik::gui
