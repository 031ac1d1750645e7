#pragma once

#include <functional>
#include <vector>

#include <QStatusBar>

class QProgressBar;

// How a status panel's border is drawn.
enum TStatusPanelBevel { pbNone, pbLowered, pbRaised };

// One panel of a TPrgStatusBar. The last panel reaches to the right edge.
struct TStatusPanel {
    QString Text;
    int Width = 50;
    TStatusPanelBevel Bevel = pbLowered;
    Qt::Alignment Alignment = Qt::AlignLeft;
};

// A status bar of text panels that owns a progress bar laid over its
// first panel: hidden until a long operation shows it, range 0 ... 100.
class TPrgStatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit TPrgStatusBar(QWidget* parent = nullptr);

    QProgressBar* ProgressBar() const { return progressBar_; }

    int PanelCount() const { return static_cast<int>(panels_.size()); }
    const TStatusPanel& Panel(int index) const { return panels_.at(index); }
    void SetPanels(std::vector<TStatusPanel> panels);
    void SetPanelText(int index, const QString& text);
    void SetPanelWidth(int index, int width);
    // The area a panel covers, in the bar's coordinates.
    QRect PanelRect(int index) const;

    // Raised by every resize, before the progress bar follows it.
    std::function<void(TPrgStatusBar* Sender)> OnResize;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceProgressBar();

    std::vector<TStatusPanel> panels_;
    QProgressBar* progressBar_;
};
