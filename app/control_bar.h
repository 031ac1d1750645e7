#pragma once

#include <vector>

#include <QFrame>

class QToolBar;

// A band at the top of the window holding toolbars at free positions in
// rows of equal height. Its height follows the rows in use, so hiding the
// toolbars of a row gives its space back.
class TControlBar : public QFrame {
    Q_OBJECT

public:
    explicit TControlBar(QWidget* parent = nullptr);

    // Takes the toolbar as a child at its designed place (left, row from 0).
    void AddToolBar(QToolBar* toolBar, int left, int row);
    const std::vector<QToolBar*>& ToolBars() const { return toolBars_; }

    int RowSize() const { return rowSize_; }
    void SetRowSize(int size);

    // Moves a toolbar inside the band (snapped to the start of its row) and
    // re-sizes the band.
    void PlaceToolBar(QToolBar* toolBar, int left, int top);
    void Relayout();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int RowTop(int top) const;

    std::vector<QToolBar*> toolBars_;
    int rowSize_ = 26;
};
