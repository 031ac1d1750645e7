#include "main_window_bench.h"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <QCoreApplication>
#include <QEvent>

#include "app/settings_file.h"
#include "shell/shell_list_view.h"

namespace main_window_bench {

std::string MakeTemporaryFolder(const std::string& prefix) {
    const std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    if (mkdtemp(path.data()) == nullptr) std::abort();
    return path.data();
}

void WriteSettings(const std::string& programFolder, const std::string& defaultPath) {
    std::filesystem::create_directories(programFolder);
    FILE* ini = std::fopen((programFolder + "/kelvandor.ini").c_str(), "w");
    if (ini == nullptr) std::abort();
    std::fprintf(ini, "[Kelvandor]\nDefaultPath=%s\nSusiePath=%s\n", defaultPath.c_str(), KELVANDOR_PLUGIN_DIR);
    std::fclose(ini);
}

WindowOverPictures::WindowOverPictures(const std::string& prefix)
    : base_(MakeTemporaryFolder(prefix)), pictures_(base_ + "/pictures") {
    std::filesystem::create_directories(pictures_);
}

WindowOverPictures::~WindowOverPictures() {
    form_.reset();
    std::filesystem::remove_all(base_);
}

void WindowOverPictures::Start() {
    const std::string program = base_ + "/bin";
    WriteSettings(program, pictures_);
    form_ = std::make_unique<TMainForm>(std::make_unique<SettingsFile>(program + "/kelvandor", base_),
                                        std::chrono::milliseconds(0));
    form_->show();
    while (!form_->Started()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

int RowOf(TMainForm& form, const std::string& name) {
    TSHListView& list = *form.ShellListView();
    for (int row = 0; row < list.RowCount(); ++row)
        if (list.Model()->index(row, 0).data().toString() == QString::fromStdString(name)) return row;
    std::abort();
}

PaintCounter::PaintCounter(TRaster& raster) : raster_(raster) { raster_.installEventFilter(this); }

PaintCounter::~PaintCounter() { raster_.removeEventFilter(this); }

bool PaintCounter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && raster_.HasImage()) ++Paints;
    return QObject::eventFilter(watched, event);
}

}  // namespace main_window_bench
