#include "shell/shell_sort_actions.h"

#include "shell/shell_list_view.h"

TSHFileSortAction::TSHFileSortAction(QObject* parent) : TSHAction(parent) {}

bool TSHFileSortAction::HandlesTarget(QObject* Target) {
    return TakesTarget(Target, qobject_cast<TSHListView*>(Target) != nullptr);
}

void TSHFileSortAction::UpdateTarget(QObject* Target) {
    auto* list = qobject_cast<TSHListView*>(Target);
    const bool enabled = list && EnabledOn(*list);
    SetCheckedState(enabled, enabled && CheckedOn(*list));
}

void TSHFileSortAction::ExecuteTarget(QObject* Target) {
    if (auto* list = qobject_cast<TSHListView*>(Target)) ExecuteOn(*list);
}

TSHFileSortByColumn::TSHFileSortByColumn(QObject* parent, THeaderCaption column)
    : TSHFileSortAction(parent), column_(column) {
    setCheckable(true);
}

bool TSHFileSortByColumn::EnabledOn(TSHListView& list) { return column_ == hcName || list.HasFolderPath(); }

bool TSHFileSortByColumn::CheckedOn(TSHListView& list) { return list.SortType() == column_; }

void TSHFileSortByColumn::ExecuteOn(TSHListView& list) { list.SetSort(column_, list.FileList().SortDirection(column_)); }

TSHFileSortByName::TSHFileSortByName(QObject* parent) : TSHFileSortByColumn(parent, hcName) {
    SetTexts(QStringLiteral("名前順(&N)"), QStringLiteral("名前順|オブジェクトを名前順に並び替えます。"));
}

TSHFileSortBySize::TSHFileSortBySize(QObject* parent) : TSHFileSortByColumn(parent, hcSize) {
    SetTexts(QStringLiteral("サイズ順(&Z)"), QStringLiteral("サイズ順|オブジェクトをサイズ順に並び替えます。"));
}

TSHFileSortByType::TSHFileSortByType(QObject* parent) : TSHFileSortByColumn(parent, hcType) {
    SetTexts(QStringLiteral("種類順(&N)"), QStringLiteral("種類順|オブジェクトを種類順に並び替えます。"));
}

TSHFileSortByLastWrite::TSHFileSortByLastWrite(QObject* parent) : TSHFileSortByColumn(parent, hcLastWrite) {
    SetTexts(QStringLiteral("日付順(&D)"), QStringLiteral("日付順|オブジェクトを日付順に並び替えます。"));
}

TSHFileSortByAttr::TSHFileSortByAttr(QObject* parent) : TSHFileSortByColumn(parent, hcAttr) {
    SetTexts(QStringLiteral("属性順(&A)"), QStringLiteral("属性順|オブジェクトを属性順に並び替えます。"));
}

TSHFileSortDirection::TSHFileSortDirection(QObject* parent, int direction)
    : TSHFileSortAction(parent), direction_(direction) {
    setCheckable(true);
}

bool TSHFileSortDirection::EnabledOn(TSHListView& list) { return list.HasFolderPath(); }

bool TSHFileSortDirection::CheckedOn(TSHListView& list) {
    return list.FileList().SortDirection(list.SortType()) == direction_;
}

void TSHFileSortDirection::ExecuteOn(TSHListView& list) { list.SetSort(list.SortType(), direction_); }

TSHFileAscSort::TSHFileAscSort(QObject* parent) : TSHFileSortDirection(parent, 1) {
    SetTexts(QStringLiteral("昇順で並び替え(&U)"), QStringLiteral("昇順|オブジェクトを昇順に並び替えます。"));
}

TSHFileDescSort::TSHFileDescSort(QObject* parent) : TSHFileSortDirection(parent, -1) {
    SetTexts(QStringLiteral("降順で並び替え(&L)"), QStringLiteral("降順|オブジェクトを降順に並び替えます。"));
}
