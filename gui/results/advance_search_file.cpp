#include "results/advance_search_file.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

#include "app/app_context.h"
#include "app/dialog_look.h"
#include "app/message_dialogs.h"
#include "controls/labels.h"
#include "controls/picture_button.h"

namespace dravik::gui {

namespace {

constexpr const char* kCaption = "Search Data ";
constexpr const char* kStart = "&Start Search";
constexpr const char* kStop = "&Stop Search";
constexpr const char* kStopQuestion = "Do you want to stop data searching.";
constexpr const char* kCancelQuestion = "Do you want to stop this process.";
constexpr const char* kWait = "Please wait...";
constexpr const char* kMore = ">>";
constexpr const char* kLess = "<<";

const QColor kDeletedColour(255, 0, 0);

QString Q(const char* text) { return QString::fromUtf8(text); }

QComboBox* NumberBox(int first, int last, int width, QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (int n = first; n <= last; ++n) box->addItem(QString::asprintf(width == 2 ? "%02d" : "%d", n));
    return box;
}

}  // namespace

// ---- the hits model ----

SearchHitsModel::SearchHitsModel(results::ResultsView& view, QObject* parent)
    : QAbstractTableModel(parent), view_(view) {}

int SearchHitsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(hits_.Size());
}

int SearchHitsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : results::kHitColumnCount;
}

QIcon SearchHitsModel::IconOf(const results::SearchHit& hit) const {
    static const QFileIconProvider provider;
    if (hit.IsFolder()) return provider.icon(QAbstractFileIconProvider::Folder);
    // By the name alone, as the file is not on this machine.
    const QString suffix = QFileInfo(QString::fromUtf8(hit.Text(results::kHitName))).suffix().toLower();
    auto it = icons_.find(suffix);
    if (it == icons_.end()) {
        QIcon icon = provider.icon(QFileInfo(QStringLiteral("x.") + suffix));
        if (icon.isNull()) icon = provider.icon(QAbstractFileIconProvider::File);
        it = icons_.insert(suffix, icon);
    }
    return *it;
}

QVariant SearchHitsModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const results::SearchHit& hit = Hit(index.row());
    switch (role) {
        case Qt::DisplayRole: return QString::fromUtf8(hit.Text(index.column()));
        case Qt::ForegroundRole: {
            const char deleted = hit.IsFolder() ? hit.folder->deleted : hit.file->deleted;
            if (deleted == analysis::kYes) return kDeletedColour;
            return {};
        }
        case Qt::DecorationRole:
            if (index.column() == results::kHitName) return IconOf(hit);
            return {};
        case Qt::CheckStateRole:
            if (index.column() != results::kHitName) return {};
            // Not value_or: the worker may be writing hit.checked right now.
            if (checkAll_) return *checkAll_ ? Qt::Checked : Qt::Unchecked;
            return hit.checked ? Qt::Checked : Qt::Unchecked;
        default: return {};
    }
}

QVariant SearchHitsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= results::kHitColumnCount) return {};
    return Q(results::HitColumnHeader(section));
}

Qt::ItemFlags SearchHitsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == results::kHitName) f |= Qt::ItemIsUserCheckable;
    return f;
}

bool SearchHitsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || locked_ || index.column() != results::kHitName) return false;
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return false;
    const bool checked = value.toInt() == Qt::Checked;
    results::SetHitChecked(view_, hits_, static_cast<std::size_t>(index.row()), checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit HitChecked(index.row());
    return true;
}

void SearchHitsModel::AddHits(std::vector<results::SearchHit> found) {
    if (found.empty()) return;
    beginInsertRows(QModelIndex(), 0, static_cast<int>(found.size()) - 1);
    for (auto& hit : found) hits_.InsertFront(std::move(hit));
    endInsertRows();
}

void SearchHitsModel::Clear() {
    beginResetModel();
    hits_.Clear();
    endResetModel();
}

void SearchHitsModel::BeginCheckAll(bool checked) {
    locked_ = true;
    checkAll_ = checked;
    if (!hits_.Empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

void SearchHitsModel::EndCheckAll() {
    checkAll_.reset();
    locked_ = false;
    if (!hits_.Empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

// ---- the dialog ----

AdvanceSearchFile::AdvanceSearchFile(app::AppContext& ctx, results::ResultsView& view, QWidget* parent)
    : QDialog(parent), ctx_(ctx), view_(view) {
    setObjectName(QStringLiteral("AdvanceSearchFile"));
    ApplyDialogLook(this);
    setWindowTitle(Q(kCaption));
    BuildControls();
    ShowCriteria(results::SearchCriteria{});
    criteriaPart_->hide();
    resultsPart_->hide();
    adjustSize();
}

AdvanceSearchFile::~AdvanceSearchFile() {
    // The workers write into the model and post to this dialog.
    search_.End();
    select_.End();
}

void AdvanceSearchFile::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(10);

    // The name and the button that shows the criteria.
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new CTransparentLabel(QStringLiteral("Enter Search Name "), this));
    name_ = new QLineEdit(this);
    name_->setPlaceholderText(QStringLiteral("e.g: - *.xls"));
    name_->setMinimumWidth(280);
    nameRow->addWidget(name_, 1);
    more_ = new CPictureButton(Q(kMore), nullptr, this);
    more_->setAutoDefault(false);
    nameRow->addWidget(more_);
    layout->addLayout(nameRow);

    // The criteria, in one framed part.
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    criteriaPart_ = frame;
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);

    type_ = new QCheckBox(QStringLiteral("Type"), frame);
    include_ = new QRadioButton(QStringLiteral("Include Deleted File(s)"), frame);
    exclude_ = new QRadioButton(QStringLiteral("Exclude Deleted File(s)"), frame);
    only_ = new QRadioButton(QStringLiteral("Only Deleted File(s)"), frame);
    auto* group = new QButtonGroup(frame);
    for (auto* r : {include_, exclude_, only_}) group->addButton(r);
    auto* typeRow = new QHBoxLayout;
    for (auto* r : {include_, exclude_, only_}) typeRow->addWidget(r);
    typeRow->addStretch(1);
    grid->addWidget(type_, 0, 0);
    grid->addLayout(typeRow, 0, 1);

    date_ = new QCheckBox(QStringLiteral("Date"), frame);
    dateKind_ = new QComboBox(frame);
    for (auto kind : {results::TimeKind::Created, results::TimeKind::Modified, results::TimeKind::Accessed})
        dateKind_->addItem(Q(results::DateKindText(kind)));
    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(new CTransparentLabel(QStringLiteral("Date ( DD - MM - YYY)"), frame));
    dateRow->addWidget(dateKind_);
    dateRow->addSpacing(6);
    for (int i = 0; i < 6; ++i) {
        const int part = i % 3;
        dateBoxes_[static_cast<std::size_t>(i)] =
            part == 0   ? NumberBox(1, 31, 2, frame)
            : part == 1 ? NumberBox(1, 12, 2, frame)
                        : NumberBox(results::kFirstSearchYear, results::kLastSearchYear, 4, frame);
        if (i == 3) dateRow->addWidget(new CTransparentLabel(QStringLiteral("( Between )"), frame));
        dateRow->addWidget(dateBoxes_[static_cast<std::size_t>(i)]);
    }
    dateRow->addStretch(1);
    grid->addWidget(date_, 1, 0);
    grid->addLayout(dateRow, 1, 1);

    size_ = new QCheckBox(QStringLiteral("Size"), frame);
    sizeFrom_ = new QLineEdit(frame);
    sizeTo_ = new QLineEdit(frame);
    for (auto* e : {sizeFrom_, sizeTo_}) e->setFixedWidth(90);
    sizeUnit_ = new QComboBox(frame);
    for (auto unit : {results::SizeUnit::Bytes, results::SizeUnit::KB, results::SizeUnit::MB, results::SizeUnit::GB})
        sizeUnit_->addItem(Q(results::SizeUnitText(unit)));
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(new CTransparentLabel(QStringLiteral("Size between : "), frame));
    sizeRow->addWidget(sizeFrom_);
    sizeRow->addWidget(sizeTo_);
    sizeRow->addWidget(sizeUnit_);
    sizeRow->addStretch(1);
    grid->addWidget(size_, 2, 0);
    grid->addLayout(sizeRow, 2, 1);
    grid->setColumnStretch(1, 1);
    layout->addWidget(frame);

    // The count and the buttons.
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new CTransparentLabel(QStringLiteral("Match Found : "), this));
    matchCount_ = new CColoredLabel(QStringLiteral("0"), this);
    matchCount_->setObjectName(QStringLiteral("matchCount"));
    matchCount_->setMinimumWidth(70);
    buttons->addWidget(matchCount_);
    buttons->addStretch(1);
    start_ = new CPictureButton(Q(kStart), "\\Search-tbar.bmp", this);
    stop_ = new CPictureButton(Q(kStop), "\\Stop-btn.bmp", this);
    cancel_ = new CPictureButton(QStringLiteral("Cancel"), "\\cancel.bmp", this);
    // Start and Stop take turns in one place: the same size, so nothing moves.
    const QSize face = start_->sizeHint().expandedTo(stop_->sizeHint());
    for (auto* b : {start_, stop_}) b->setFixedSize(face);
    cancel_->setFixedHeight(face.height());
    stop_->hide();
    start_->setDefault(true);
    cancel_->setAutoDefault(false);
    for (auto* b : {start_, stop_, cancel_}) buttons->addWidget(b);
    layout->addLayout(buttons);

    // The results, shown with the first search.
    resultsPart_ = new QWidget(this);
    auto* results = new QVBoxLayout(resultsPart_);
    results->setContentsMargins(0, 0, 0, 0);
    auto* selectRow = new QHBoxLayout;
    selectAll_ = new QCheckBox(QStringLiteral("Select/Unselect All"), resultsPart_);
    wait_ = new CTransparentLabel(Q(kWait), resultsPart_);
    wait_->hide();
    selectRow->addWidget(selectAll_);
    selectRow->addSpacing(16);
    selectRow->addWidget(wait_);
    selectRow->addStretch(1);
    results->addLayout(selectRow);

    model_ = new SearchHitsModel(view_, this);
    list_ = new QTableView(resultsPart_);
    list_->setModel(model_);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(false);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->verticalHeader()->hide();
    QFont listFont(QStringLiteral("MS Sans Sarif"));
    listFont.setPointSize(12);
    list_->setFont(listFont);
    list_->verticalHeader()->setDefaultSectionSize(QFontMetrics(listFont).height() + 6);
    list_->horizontalHeader()->setFont(font());
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->horizontalHeader()->setHighlightSections(false);
    for (int c = 0; c < results::kHitColumnCount; ++c) list_->setColumnWidth(c, c == results::kHitPath ? 350 : 150);
    list_->setMinimumHeight(260);
    results->addWidget(list_, 1);
    layout->addWidget(resultsPart_, 1);

    listMenu_ = new QMenu(QStringLiteral("List"), this);
    open_ = listMenu_->addAction(QStringLiteral("&Open"));

    connect(more_, &QPushButton::clicked, this, &AdvanceSearchFile::ToggleCriteria);
    connect(start_, &QPushButton::clicked, this, &AdvanceSearchFile::StartSearch);
    connect(stop_, &QPushButton::clicked, this, [this] { AskStop(kStopQuestion); });
    connect(cancel_, &QPushButton::clicked, this, &AdvanceSearchFile::reject);
    // Each check box enables its controls and, when checked, resets one of
    // them as the core's criteria say.
    auto recheck = [this](void (results::SearchCriteria::*check)(bool)) {
        return [this, check](bool on) {
            results::SearchCriteria c = Criteria();
            (c.*check)(on);
            ShowCriteria(c);
        };
    };
    connect(type_, &QCheckBox::toggled, this, recheck(&results::SearchCriteria::CheckType));
    connect(date_, &QCheckBox::toggled, this, recheck(&results::SearchCriteria::CheckDate));
    connect(size_, &QCheckBox::toggled, this, recheck(&results::SearchCriteria::CheckSize));
    // clicked, not toggled: the search unchecks it without selecting anything.
    connect(selectAll_, &QCheckBox::clicked, this, &AdvanceSearchFile::SelectAll);
    connect(list_, &QTableView::doubleClicked, this, [this](const QModelIndex& i) { OpenRow(i.row()); });
    connect(list_, &QTableView::customContextMenuRequested, this, &AdvanceSearchFile::ShowListMenu);
    connect(open_, &QAction::triggered, this, [this] {
        const QModelIndex i = list_->currentIndex();
        if (i.isValid()) OpenRow(i.row());
    });
    connect(model_, &SearchHitsModel::HitChecked, this, [this] { emit ChecksChanged(); });
}

QRadioButton* AdvanceSearchFile::DeletedButton(results::DeletedMode mode) const {
    switch (mode) {
        case results::DeletedMode::Include: return include_;
        case results::DeletedMode::Exclude: return exclude_;
        case results::DeletedMode::Only: return only_;
    }
    return include_;
}

results::SearchCriteria AdvanceSearchFile::Criteria() const {
    results::SearchCriteria c;
    c.name = name_->text().toStdU16String();
    c.typeChecked = type_->isChecked();
    c.deletedMode = exclude_->isChecked() ? results::DeletedMode::Exclude
                    : only_->isChecked()  ? results::DeletedMode::Only
                                          : results::DeletedMode::Include;
    c.dateChecked = date_->isChecked();
    static constexpr results::TimeKind kKinds[] = {results::TimeKind::Created, results::TimeKind::Modified,
                                                   results::TimeKind::Accessed};
    c.dateKind = kKinds[std::max(0, dateKind_->currentIndex())];
    auto number = [this](int i) { return DateBox(i)->currentText().toInt(); };
    c.dateFrom = {number(0), number(1), number(2)};
    c.dateTo = {number(3), number(4), number(5)};
    c.sizeChecked = size_->isChecked();
    c.sizeFrom = sizeFrom_->text().toStdString();
    c.sizeTo = sizeTo_->text().toStdString();
    c.sizeUnit = static_cast<results::SizeUnit>(std::max(0, sizeUnit_->currentIndex()));
    return c;
}

void AdvanceSearchFile::ShowCriteria(const results::SearchCriteria& c) {
    const QSignalBlocker b1(type_), b2(date_), b3(size_);
    type_->setChecked(c.typeChecked);
    DeletedButton(c.deletedMode)->setChecked(true);
    for (auto* r : {include_, exclude_, only_}) r->setEnabled(c.typeChecked);

    date_->setChecked(c.dateChecked);
    dateKind_->setCurrentIndex(c.dateKind == results::TimeKind::Created    ? 0
                               : c.dateKind == results::TimeKind::Modified ? 1
                                                                           : 2);
    const int values[] = {c.dateFrom.day, c.dateFrom.month, c.dateFrom.year, c.dateTo.day, c.dateTo.month, c.dateTo.year};
    for (int i = 0; i < 6; ++i) {
        const int first = i % 3 == 2 ? results::kFirstSearchYear : 1;
        DateBox(i)->setCurrentIndex(values[i] - first);
        DateBox(i)->setEnabled(c.dateChecked);
    }
    dateKind_->setEnabled(c.dateChecked);

    size_->setChecked(c.sizeChecked);
    sizeFrom_->setText(QString::fromStdString(c.sizeFrom));
    sizeTo_->setText(QString::fromStdString(c.sizeTo));
    sizeUnit_->setCurrentIndex(static_cast<int>(c.sizeUnit));
    for (QWidget* w : std::initializer_list<QWidget*>{sizeFrom_, sizeTo_, sizeUnit_}) w->setEnabled(c.sizeChecked);
}

void AdvanceSearchFile::ToggleCriteria() {
    criteriaShown_ = !criteriaShown_;
    criteriaPart_->setVisible(criteriaShown_);
    more_->setText(Q(criteriaShown_ ? kLess : kMore));
    if (!resultsShown_) {
        // Collapsed, the dialog is only as tall as what it shows.
        layout()->activate();
        adjustSize();
    }
}

void AdvanceSearchFile::StartSearch() {
    if (searching_ || selecting_) return;
    search_.Join();  // a search that ended but whose notice is still queued
    searching_ = true;
    const unsigned id = ++searchId_;
    matchCount_->setText(QStringLiteral("0"));
    start_->hide();
    stop_->show();
    stop_->setDefault(true);
    {
        std::lock_guard lock(pendingMutex_);
        pending_.clear();
    }
    model_->Clear();
    model_->SetLocked(true);
    selectAll_->setChecked(false);
    selectAll_->setEnabled(false);
    if (!resultsShown_) {
        resultsShown_ = true;
        resultsPart_->show();
        resize(std::max(width(), 980), std::max(height(), 600));
    }

    const results::SearchCriteria criteria = Criteria();
    search_.Start([this, criteria, id](base::WorkerControl& control) {
        results::RunSearch(view_, criteria, control, [this, &control](const results::SearchHit& hit) {
            QueueHit(hit);
            if (hitObserver_) hitObserver_(hit.matchCount, control);
        });
        QMetaObject::invokeMethod(this, [this, id] { SearchEnded(id); }, Qt::QueuedConnection);
    });
}

void AdvanceSearchFile::QueueHit(const results::SearchHit& hit) {
    bool first;
    {
        std::lock_guard lock(pendingMutex_);
        first = pending_.empty();
        pending_.push_back(hit);
    }
    if (first) QMetaObject::invokeMethod(this, [this] { FlushHits(); }, Qt::QueuedConnection);
}

void AdvanceSearchFile::FlushHits() {
    std::vector<results::SearchHit> found;
    {
        std::lock_guard lock(pendingMutex_);
        found.swap(pending_);
    }
    if (found.empty()) return;
    const int count = found.back().matchCount;
    model_->AddHits(std::move(found));
    matchCount_->setText(QString::number(count));
}

void AdvanceSearchFile::AskStop(const char* question) {
    if (!searching_) return;
    search_.Control().Pause();
    if (AskQuestion(this, question) != 1) {
        search_.Control().Resume();
        return;
    }
    // Parked between two items, the worker ends at once; what it found stays.
    search_.Control().Terminate();
    search_.Join();
    FlushHits();
    FinishSearch();
}

void AdvanceSearchFile::SearchEnded(unsigned id) {
    if (!searching_ || id != searchId_) return;
    search_.Join();
    FlushHits();
    FinishSearch();
}

void AdvanceSearchFile::FinishSearch() {
    searching_ = false;
    model_->SetLocked(false);
    selectAll_->setEnabled(true);
    stop_->hide();
    start_->show();
    start_->setDefault(true);
}

void AdvanceSearchFile::SelectAll(bool checked) {
    if (searching_ || selecting_) return;
    selecting_ = true;
    for (QWidget* w : std::initializer_list<QWidget*>{selectAll_, start_, cancel_}) w->setEnabled(false);
    wait_->show();
    model_->BeginCheckAll(checked);
    select_.Start([this, checked](base::WorkerControl& control) {
        results::SetAllHitsChecked(view_, model_->Results(), checked, control);
        QMetaObject::invokeMethod(this, [this] { SelectAllEnded(); }, Qt::QueuedConnection);
    });
}

void AdvanceSearchFile::SelectAllEnded() {
    select_.Join();
    model_->EndCheckAll();
    wait_->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{selectAll_, start_, cancel_}) w->setEnabled(true);
    selecting_ = false;
    emit ChecksChanged();
}

void AdvanceSearchFile::OpenRow(int row) {
    // Opening reads the tree the running worker reads and writes.
    if (searching_ || selecting_ || row < 0 || row >= model_->rowCount()) return;
    const results::SearchHit& hit = model_->Hit(row);
    if (!hit.IsFolder()) {
        emit FileOpenRequested(hit.file);
        return;
    }
    const results::NodeHandle node = results::OpenHit(view_, hit);
    if (node == results::kNoNode) return;
    emit FolderOpened(node);
    done(QDialog::Accepted);
}

void AdvanceSearchFile::ShowListMenu(const QPoint& pos) {
    const QModelIndex i = list_->indexAt(pos);
    if (!i.isValid()) return;
    list_->setCurrentIndex(i);
    listMenu_->exec(list_->viewport()->mapToGlobal(pos));
}

void AdvanceSearchFile::reject() {
    if (selecting_) return;
    if (searching_) {
        AskStop(kCancelQuestion);
        return;
    }
    QDialog::reject();
}

}  // namespace dravik::gui
