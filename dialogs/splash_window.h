#pragma once

#include <QWidget>

class TVersionPanel;

// The splash window shown while the main window starts: no frame, on top,
// centred on the screen, with the product, version and licensee.
class TSplashWindow : public QWidget {
    Q_OBJECT

public:
    explicit TSplashWindow(QWidget* owner = nullptr);

    TVersionPanel* Panel() const { return panel_; }

private:
    TVersionPanel* panel_;
};
