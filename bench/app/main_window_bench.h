#pragma once

// What the benchmarks of the main window share: a program folder whose
// settings file points at a pictures folder and the bundled plug-ins, the
// window started there as the program starts it (without the splash's
// wait), and a count of the paints that show an image.

#include <memory>
#include <string>

#include <QObject>

#include "app/main_form.h"
#include "raster/raster.h"

namespace main_window_bench {

// A new folder under /tmp named after prefix; aborts when it cannot be made.
std::string MakeTemporaryFolder(const std::string& prefix);

// Writes programFolder/kelvandor.ini: the folder the program opens first
// and the bundled plug-ins' folder.
void WriteSettings(const std::string& programFolder, const std::string& defaultPath);

// A temporary folder holding pictures/ and the program folder, and the
// main window once started there; the window closes and the folder goes
// with the object.
class WindowOverPictures {
public:
    explicit WindowOverPictures(const std::string& prefix);
    ~WindowOverPictures();
    WindowOverPictures(const WindowOverPictures&) = delete;
    WindowOverPictures& operator=(const WindowOverPictures&) = delete;

    const std::string& Pictures() const { return pictures_; }
    std::string Picture(const std::string& name) const { return pictures_ + "/" + name; }
    // Writes the settings (opening Pictures()) and starts the window as
    // the program does, but without the splash's wait.
    void Start();
    TMainForm& Form() const { return *form_; }

private:
    std::string base_;
    std::string pictures_;
    std::unique_ptr<TMainForm> form_;
};

// The row of the named entry in the window's file list; aborts when the
// list lacks it.
int RowOf(TMainForm& form, const std::string& name);

// Counts the paints of the raster view that draw an image.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(TRaster& raster);
    ~PaintCounter() override;
    int Paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TRaster& raster_;
};

}  // namespace main_window_bench
