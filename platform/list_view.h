#pragma once

#include <chrono>
#include <vector>

#include <QElapsedTimer>
#include <QFlags>
#include <QItemSelection>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWidget>

class QAbstractItemModel;
class QAbstractItemView;
class QHeaderView;
class QKeyEvent;
class QItemSelectionModel;
class QLabel;
class QListView;
class QMouseEvent;
class QSettings;
class QStackedWidget;
class QTreeView;

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

// How the row under the pointer (the hot row) shows itself and acts.
// htHandPoint: the pointer is a pointing hand over rows, a plain single
// click opens a row, and the hot row is drawn as a link (underlined, in the
// link colour) so that the user sees what a click opens. htUnderlineHot:
// the hot row is underlined. htUnderlineCold: every other row is.
enum THotTrackStyle { htHandPoint = 0x1, htUnderlineCold = 0x2, htUnderlineHot = 0x4 };
Q_DECLARE_FLAGS(THotTrackStyles, THotTrackStyle)
Q_DECLARE_OPERATORS_FOR_FLAGS(THotTrackStyles)

class TListView;

// The item delegate of a list view: draws the hot-track look. Lists that
// draw their own rows derive from it.
class TListViewDelegate : public QStyledItemDelegate {
public:
    explicit TListViewDelegate(TListView* list);

    // The list is going: its views may still ask for rows while Qt tears
    // them down, and must then get the plain look.
    void Detach() { list_ = nullptr; }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    TListView* list_;
};

// A list control over a model whose rows are produced on request: large
// icons, small icons, a list, or a report with columns. Every style shows
// the same model through one selection, so switching keeps selection and
// focus. Rows are model rows; columns are the model's columns. Typing in
// a view moves to the next row whose caption (column 0) holds the typed
// text anywhere.
class TListView : public QWidget {
    Q_OBJECT

public:
    explicit TListView(QWidget* parent = nullptr);
    ~TListView() override;

    // The model is not owned (subclasses keep it as a child object).
    void SetModel(QAbstractItemModel* model);
    QAbstractItemModel* Model() const { return model_; }

    TViewStyle ViewStyle() const { return style_; }
    void SetViewStyle(TViewStyle style);

    QTreeView* ReportView() const { return report_; }
    QListView* IconView() const { return icons_; }
    QAbstractItemView* CurrentView() const;
    QHeaderView* Header() const;
    QItemSelectionModel* SelectionModel() const;

    int RowCount() const;
    std::vector<int> SelectedRows() const;  // ascending
    int SelectedCount() const;
    // Selects exactly these rows (ascending), runs of rows as one range.
    void SetSelectedRows(const std::vector<int>& rows);
    int FocusedRow() const;
    void SetFocusedRow(int row);
    int TopRow() const;
    void ScrollToRow(int row, bool atTop);
    int RowAt(const QPoint& pointInView) const;
    void RepaintRows();
    // Opens the in-place editor on the row's caption.
    void EditRow(int row);

    // Columns in the report style: order of display and widths.
    int ColumnCount() const;
    std::vector<int> ColumnOrder() const;  // column shown at each position
    void SetColumnOrder(const std::vector<int>& order);
    int ColumnWidth(int column) const;
    void SetColumnWidth(int column, int width);
    // The arrow of the sort column: direction +1 up, -1 down.
    void SetSortArrow(int column, int direction);
    // Wide enough for the column's caption and its TypicalColumnText.
    int TypicalColumnWidth(int column) const;
    // A width read from the settings; a missing one, or one no user could
    // have dragged (none, or wider than any screen), gives the typical width.
    void RestoreColumnWidth(int column, const QVariant& saved);

    // The first row from start on, wrapping past the end, whose caption
    // holds text anywhere, case ignored; -1 when none does.
    int FindRow(const QString& text, int start) const;

    // A text shown in the view while it has no rows, saying why (empty
    // for none).
    void SetEmptyText(const QString& text);
    QString EmptyText() const;

    // Hot tracking: a row the pointer rests on for kHoverSelectDelay
    // becomes the selection (and the focused row), as if clicked.
    static constexpr std::chrono::milliseconds kHoverSelectDelay{400};
    bool HotTrack() const { return hotTrack_; }
    void SetHotTrack(bool hotTrack);
    THotTrackStyles HotTrackStyles() const { return hotTrackStyles_; }
    void SetHotTrackStyles(THotTrackStyles styles);
    // The row under the pointer while hot tracking or a hot-track style is
    // on; -1 for none.
    int HotRow() const { return hotRow_; }

signals:
    // Double-click or Enter on a row; with htHandPoint also a plain click.
    void RowActivated(int row, int column, Qt::KeyboardModifiers modifiers);
    void ColumnClicked(int column);
    void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    // A context menu was asked for at a point of the view (row -1 over
    // empty space).
    void ContextMenuAsked(const QPoint& globalPos, int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A text as long as a column's usual content, for its default width.
    virtual QString TypicalColumnText(int column) const;
    // A drag began from the pressed row: the button coming up ends it and
    // opens nothing.
    void CancelClick() { clickIndex_ = QPersistentModelIndex(); }

private:
    template <typename View>
    friend class TTypedFindView;

    void SetUpView(QAbstractItemView* view);
    void ApplyStyle();
    // Text typed into a view: continues the search while the keys come
    // quickly, else starts a new one after the focused row.
    void KeyboardSearch(QAbstractItemView* view, const QString& search);
    void PlaceEmptyText();

    // Hot tracking.
    bool Tracking() const { return hotTrack_ || hotTrackStyles_; }
    void ApplyTracking();
    bool NavigationKey(QAbstractItemView* view, QKeyEvent* event);
    void PointerMoved(QAbstractItemView* view, const QMouseEvent& event);

    void SetHotRow(int row);
    void HoverSelect();
    void ClickPressed(QAbstractItemView* view, const QMouseEvent& event);
    void ClickReleased(QAbstractItemView* view, const QMouseEvent& event);

    QAbstractItemModel* model_ = nullptr;
    TViewStyle style_ = vsIcon;
    QStackedWidget* stack_;
    QTreeView* report_;
    QListView* icons_;
    QLabel* emptyText_;
    QString typed_;
    QElapsedTimer typedTimer_;

    bool hotTrack_ = false;
    THotTrackStyles hotTrackStyles_;
    int hotRow_ = -1;
    QTimer hoverTimer_;
    // The row a plain left press went down on, opened when the button
    // comes up on it again (htHandPoint).
    QPersistentModelIndex clickIndex_;
};
