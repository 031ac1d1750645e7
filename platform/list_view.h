#pragma once

#include <vector>

#include <QItemSelection>
#include <QWidget>

class QAbstractItemModel;
class QAbstractItemView;
class QHeaderView;
class QItemSelectionModel;
class QListView;
class QSettings;
class QStackedWidget;
class QTreeView;

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

// A list control over a model whose rows are produced on request: large
// icons, small icons, a list, or a report with columns. Every style shows
// the same model through one selection, so switching keeps selection and
// focus. Rows are model rows; columns are the model's columns.
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

signals:
    // Double-click or Enter on a row.
    void RowActivated(int row, int column, Qt::KeyboardModifiers modifiers);
    void ColumnClicked(int column);
    void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    // A context menu was asked for at a point of the view (row -1 over
    // empty space).
    void ContextMenuAsked(const QPoint& globalPos, int row);

private:
    void SetUpView(QAbstractItemView* view);
    void ApplyStyle();

    QAbstractItemModel* model_ = nullptr;
    TViewStyle style_ = vsIcon;
    QStackedWidget* stack_;
    QTreeView* report_;
    QListView* icons_;
};
