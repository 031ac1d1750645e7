#include "shell/shell_list_view_actions.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include "shell/shell_list_view.h"

namespace {

// The file list holds its selection reports while the selection is
// rebuilt in steps, so that its owner hears of the result once.
class HeldSelectionReports {
public:
    explicit HeldSelectionReports(TSHListView& list) : list_(list) { list_.SuspendSelectionNotify(); }
    ~HeldSelectionReports() { list_.ResumeSelectionNotify(); }
    HeldSelectionReports(const HeldSelectionReports&) = delete;
    HeldSelectionReports& operator=(const HeldSelectionReports&) = delete;

private:
    TSHListView& list_;
};

std::vector<int> RowsNotIn(const std::vector<int>& ascending, int rowCount) {
    std::vector<int> others;
    others.reserve(static_cast<std::size_t>(rowCount) - std::min(ascending.size(), static_cast<std::size_t>(rowCount)));
    auto next = ascending.begin();
    for (int row = 0; row < rowCount; ++row) {
        if (next != ascending.end() && *next == row)
            ++next;
        else
            others.push_back(row);
    }
    return others;
}

}  // namespace

TListViewAction::TListViewAction(QObject* parent) : TSHAction(parent) {}

bool TListViewAction::HandlesTarget(QObject* Target) {
    return TakesTarget(Target, qobject_cast<TSHListView*>(Target) != nullptr);
}

void TListViewAction::UpdateTarget(QObject* Target) {
    auto* list = qobject_cast<TListView*>(Target);
    SetCheckedState(list != nullptr, list && CheckedOn(*list));
}

void TListViewAction::ExecuteTarget(QObject* Target) {
    if (auto* list = qobject_cast<TListView*>(Target)) ExecuteOn(*list);
}

void TListViewAction::FocusList(TListView& list) {
    QAbstractItemView* view = list.CurrentView();
    if (list.isVisible() && list.isEnabled() && view->focusPolicy() != Qt::NoFocus) view->setFocus();
}

// --- View styles --------------------------------------------------------

TListViewStyleAction::TListViewStyleAction(QObject* parent, TViewStyle style) : TListViewAction(parent), style_(style) {
    setCheckable(true);
}

bool TListViewStyleAction::CheckedOn(TListView& list) { return list.ViewStyle() == style_; }

void TListViewStyleAction::ExecuteOn(TListView& list) { list.SetViewStyle(style_); }

TLargeIcon::TLargeIcon(QObject* parent) : TListViewStyleAction(parent, vsIcon) {
    SetTexts(QStringLiteral("大きいアイコン(&G)"),
             QStringLiteral("大きいアイコン|オブジェクトを大きいアイコンで表示します。"));
}

TSmallIcon::TSmallIcon(QObject* parent) : TListViewStyleAction(parent, vsSmallIcon) {
    SetTexts(QStringLiteral("小さいアイコン(&M)"),
             QStringLiteral("小さいアイコン|オブジェクトを小さいアイコンで表示します。"));
}

TListIcon::TListIcon(QObject* parent) : TListViewStyleAction(parent, vsList) {
    SetTexts(QStringLiteral("一覧(&L)"), QStringLiteral("一覧|オブジェクトを一覧表示します。"));
}

TReportIcon::TReportIcon(QObject* parent) : TListViewStyleAction(parent, vsReport) {
    SetTexts(QStringLiteral("詳細(&D)"), QStringLiteral("詳細|ウインドウ内の各オブジェクトの情報を表示します。"));
}

// --- Selection ----------------------------------------------------------

TSelectAllItem::TSelectAllItem(QObject* parent) : TListViewAction(parent) {
    SetTexts(QStringLiteral("すべて選択(&A)"),
             QStringLiteral("すべて選択|ウインドウ内のすべてのオブジェクトを選択します。"));
}

void TSelectAllItem::ExecuteOn(TListView& list) {
    const int count = list.RowCount();
    if (count > 0) {
        const QAbstractItemModel* model = list.Model();
        const QItemSelection all(model->index(0, 0), model->index(count - 1, model->columnCount() - 1));
        list.SelectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
    }
    FocusList(list);
}

TReverseSelectedItem::TReverseSelectedItem(QObject* parent) : TListViewAction(parent) {
    SetTexts(QStringLiteral("選択の切り替え(&I)"),
             QStringLiteral("選択の切り替え|選択されているオブジェクトと選択されていないオブジェクトを切り替えます。"));
}

void TReverseSelectedItem::ExecuteOn(TListView& list) {
    const int count = list.RowCount();
    if (count == 0) return;
    if (auto* shellList = qobject_cast<TSHListView*>(&list)) {
        const std::vector<int> others = RowsNotIn(list.SelectedRows(), count);
        const HeldSelectionReports held(*shellList);
        list.SetSelectedRows(others);
    } else {
        for (int row = 0; row < count; ++row)
            list.SelectionModel()->select(list.Model()->index(row, 0),
                                          QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
    }
    FocusList(list);
}

TSelectKindItem::TSelectKindItem(QObject* parent, bool folders) : TListViewAction(parent), folders_(folders) {}

void TSelectKindItem::ExecuteOn(TListView& list) {
    auto* shellList = qobject_cast<TSHListView*>(&list);
    if (!shellList || list.RowCount() == 0) return;
    TSHFileList& files = shellList->FileList();
    std::vector<int> rows;
    for (int row = 0; row < files.Count(); ++row) {
        TSHFileItem* entry = files.GetItem(row);
        if (entry->HasAttribute(saFileSystem) && entry->HasAttribute(saFolder) == folders_) rows.push_back(row);
    }
    const HeldSelectionReports held(*shellList);
    list.SetSelectedRows(rows);
}

TSelectFolderItem::TSelectFolderItem(QObject* parent) : TSelectKindItem(parent, true) {
    SetTexts(QStringLiteral("フォルダを選択(&R)"),
             QStringLiteral("フォルダ選択|ウインドウ内のフォルダオブジェクトを選択します。"));
}

TSelectFileItem::TSelectFileItem(QObject* parent) : TSelectKindItem(parent, false) {
    SetTexts(QStringLiteral("ファイルを選択(&S)"),
             QStringLiteral("ファイル選択|ウインドウ内のファイルオブジェクトを選択します。"));
}
