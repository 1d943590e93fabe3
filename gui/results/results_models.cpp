#include "results/results_models.h"

#include <QApplication>
#include <QFont>
#include <QMimeDatabase>
#include <QStyle>
#include <QThread>

#include "analysis/item_records.h"
#include "app/dialog_look.h"

namespace dravik::gui {

namespace {

QString FromU16(const std::u16string& s) { return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size())); }

std::u16string ToU16(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size()));
}

QIcon PictureIcon(const char* name, QStyle::StandardPixmap fallback) {
    const QPixmap p = LoadPicture(name);
    return p.isNull() ? QApplication::style()->standardIcon(fallback) : QIcon(p);
}

bool Deleted(const results::Row& r) {
    return (r.folder ? r.folder->deleted : r.file->deleted) == analysis::kYes;
}

}  // namespace

// ---- tree ----

ResultsTreeModel::ResultsTreeModel(results::ResultsView& view, QObject* parent)
    : QAbstractItemModel(parent),
      view_(view),
      folder_(PictureIcon("\\folder.bmp", QStyle::SP_DirIcon)),
      lost_(PictureIcon("\\lost.bmp", QStyle::SP_DirIcon)),
      recycle_(PictureIcon("\\recycle.bmp", QStyle::SP_TrashIcon)),
      root_(PictureIcon("\\pc.bmp", QStyle::SP_ComputerIcon)) {}

results::NodeHandle ResultsTreeModel::Node(const QModelIndex& index) const {
    return index.isValid() ? static_cast<results::NodeHandle>(index.internalId()) : results::kNoNode;
}

QModelIndex ResultsTreeModel::IndexOf(results::NodeHandle node) const {
    const auto& t = view_.Tree();
    if (!t.Valid(node)) return {};
    if (node == t.Root()) return createIndex(0, 0, quintptr(node));
    return createIndex(static_cast<int>(t.Node(node).row), 0, quintptr(node));
}

QModelIndex ResultsTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0) return {};
    const auto& t = view_.Tree();
    if (!parent.isValid()) return row == 0 && t.Valid(t.Root()) ? createIndex(0, 0, quintptr(t.Root())) : QModelIndex();
    const auto& children = t.Node(Node(parent)).children;
    if (static_cast<std::size_t>(row) >= children.size()) return {};
    return createIndex(row, 0, quintptr(children[static_cast<std::size_t>(row)]));
}

QModelIndex ResultsTreeModel::parent(const QModelIndex& child) const {
    const auto& t = view_.Tree();
    const results::NodeHandle n = Node(child);
    if (!t.Valid(n) || n == t.Root()) return {};
    return IndexOf(t.Node(n).parent);
}

int ResultsTreeModel::rowCount(const QModelIndex& parent) const {
    const auto& t = view_.Tree();
    if (parent.column() > 0) return 0;
    if (!parent.isValid()) return t.Valid(t.Root()) ? 1 : 0;
    return static_cast<int>(t.Node(Node(parent)).children.size());
}

int ResultsTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant ResultsTreeModel::data(const QModelIndex& index, int role) const {
    const auto& t = view_.Tree();
    const results::NodeHandle h = Node(index);
    if (!t.Valid(h)) return {};
    const auto& n = t.Node(h);
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return FromU16(n.text);
        case Qt::CheckStateRole:
            return n.checked ? Qt::Checked : Qt::Unchecked;
        case Qt::FontRole: {
            if (!n.bold) return {};
            QFont f;
            f.setBold(true);
            return f;
        }
        case Qt::DecorationRole:
            switch (n.image) {
                case results::NodeImage::Root: return root_;
                case results::NodeImage::Lost: return lost_;
                case results::NodeImage::Recycle: return recycle_;
                default: return folder_;
            }
        default:
            return {};
    }
}

bool ResultsTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const results::NodeHandle h = Node(index);
    if (!view_.Tree().Valid(h)) return false;
    if (role == Qt::CheckStateRole) {
        const bool wanted = value.toInt() == Qt::Checked;
        if (wanted != view_.Tree().Node(h).checked) view_.ToggleNode(h);
        return true;
    }
    if (role == Qt::EditRole) {
        view_.RenameNode(h, ToU16(value.toString()));
        return true;
    }
    return false;
}

Qt::ItemFlags ResultsTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    if (Node(index) != view_.Tree().Root()) f |= Qt::ItemIsEditable;
    return f;
}

void ResultsTreeModel::Reset() {
    beginResetModel();
    endResetModel();
}

void ResultsTreeModel::NodesChanged(results::NodeHandle node) {
    const auto& t = view_.Tree();
    if (!t.Valid(node)) return;
    // The ancestors' levels, then every level below the node: a range per
    // parent, not a signal per node.
    auto level = [&](results::NodeHandle parent) {
        const auto& children = t.Node(parent).children;
        if (children.empty()) return;
        const QModelIndex p = IndexOf(parent);
        emit dataChanged(index(0, 0, p), index(static_cast<int>(children.size()) - 1, 0, p),
                         {Qt::CheckStateRole, Qt::FontRole, Qt::DisplayRole});
    };
    const QModelIndex root = IndexOf(t.Root());
    emit dataChanged(root, root, {Qt::CheckStateRole, Qt::FontRole});
    for (results::NodeHandle a = t.Node(node).parent; t.Valid(a); a = t.Node(a).parent) level(a);
    std::vector<results::NodeHandle> stack{node};
    while (!stack.empty()) {
        const results::NodeHandle n = stack.back();
        stack.pop_back();
        level(n);
        // Levels that are not shown are read afresh when they are expanded.
        if (!t.Node(n).expanded && n != node) continue;
        for (results::NodeHandle c : t.Node(n).children)
            if (!t.Node(c).children.empty() && t.Node(c).expanded) stack.push_back(c);
    }
}

// ---- list ----

ResultsListModel::ResultsListModel(results::ResultsView& view, QObject* parent)
    : QAbstractTableModel(parent), view_(view), folderIcon_(PictureIcon("\\folder.bmp", QStyle::SP_DirIcon)) {}

int ResultsListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(view_.Rows().size());
}

int ResultsListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : results::kColumnCount; }

QIcon ResultsListModel::IconForName(const QString& name, bool folder) const {
    if (folder) return folderIcon_;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    auto it = icons_.constFind(suffix);
    if (it != icons_.constEnd()) return *it;
    static const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    icons_.insert(suffix, icon);
    return icon;
}

QVariant ResultsListModel::data(const QModelIndex& index, int role) const {
    const auto& rows = view_.Rows();
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= rows.size()) return {};
    const results::Row& r = rows[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return QString::fromStdString(view_.CellText(r, index.column()));
        case Qt::ForegroundRole:
            return Deleted(r) ? QColor(255, 0, 0) : QColor(Qt::black);
        case Qt::CheckStateRole:
            if (index.column() != 0) return {};
            return r.checked ? Qt::Checked : Qt::Unchecked;
        case Qt::DecorationRole:
            if (index.column() != 0) return {};
            return IconForName(QString::fromStdString(view_.CellText(r, results::kName)), r.IsFolder());
        default:
            return {};
    }
}

bool ResultsListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const auto row = static_cast<std::size_t>(index.row());
    if (!index.isValid() || row >= view_.Rows().size()) return false;
    if (role == Qt::CheckStateRole && index.column() == 0) {
        if (checksLocked_) return false;
        view_.SetRowChecked(row, value.toInt() == Qt::Checked);
        return true;
    }
    if (role == Qt::EditRole && index.column() == 0) {
        // An empty text keeps the name; the row shows it again either way.
        view_.RenameRow(row, ToU16(value.toString()));
        emit dataChanged(index, index);
        return true;
    }
    return false;
}

QVariant ResultsListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= results::kColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(results::ColumnHeader(section));
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ResultsListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable | Qt::ItemIsEditable;
    return f;
}

void ResultsListModel::sort(int column, Qt::SortOrder) {
    // The direction is the core's: each header click toggles it. The core's
    // listener resets the rows.
    view_.SortBy(column);
}

void ResultsListModel::Reset() {
    beginResetModel();
    endResetModel();
}

void ResultsListModel::RowsChanged() {
    const int n = rowCount();
    if (n > 0) emit dataChanged(index(0, 0), index(n - 1, results::kColumnCount - 1));
}

// ---- both ----

ResultsModels::ResultsModels(results::ResultsView& view, QObject* parent)
    : tree(new ResultsTreeModel(view, parent)), list(new ResultsListModel(view, parent)), view_(view) {
    view_.SetListener(this);
}

ResultsModels::~ResultsModels() { view_.SetListener(nullptr); }

namespace {
template <class F>
void OnGuiThread(QObject* target, F f) {
    if (QThread::currentThread() == target->thread()) f();
    else QMetaObject::invokeMethod(target, f, Qt::QueuedConnection);
}
}  // namespace

void ResultsModels::NodesChanged(results::NodeHandle node) {
    OnGuiThread(tree, [t = tree, node] { t->NodesChanged(node); });
}
void ResultsModels::RowsChanged() {
    OnGuiThread(list, [l = list] { l->RowsChanged(); });
}
void ResultsModels::RowsReset() {
    OnGuiThread(list, [l = list] { l->Reset(); });
}

}  // namespace dravik::gui
