// What the status bar, the coordinate fields and the wheel show and do.
#include <QApplication>
#include <QLocale>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScrollBar>
#include <QWheelEvent>

#include "app/main_form.h"
#include "components/float_edit.h"
#include "components/prg_status_bar.h"
#include "raster/raster.h"
#include "raster/raster_tools.h"
#include "platform/shell_file_info.h"
#include "shell/shell_list_view.h"

namespace {

// Widths of panels 1 to 5; panel 0 takes the rest.
constexpr int kPanelWidths[] = {150, 120, 50, 120, 80};

enum TStatusPanelIndex { spCount = 0, spSize = 1, spDensity = 2, spDepth = 3, spPointer = 4 };

// "1,234.50" style: thousands grouped, two decimals, as the C locale
// writes them whatever the user's locale.
QString GroupedTwoDecimals(double value) {
    QLocale c(QLocale::C);
    c.setNumberOptions(QLocale::DefaultNumberOptions);
    return c.toString(value, 'f', 2);
}

QString Grouped(int value) {
    QLocale c(QLocale::C);
    c.setNumberOptions(QLocale::DefaultNumberOptions);
    return c.toString(value);
}

// The view's size less its scroll bars where they show.
QSize RasterClientSize(const TRaster& raster) {
    QSize size = raster.size();
    for (const QScrollBar* bar : raster.findChildren<QScrollBar*>()) {
        if (!bar->isVisibleTo(&raster)) continue;
        if (bar->orientation() == Qt::Vertical) size.rwidth() -= bar->sizeHint().width();
        else size.rheight() -= bar->sizeHint().height();
    }
    return size;
}

}  // namespace

void TListLook::ApplyTo(QWidget& control) const {
    // System colours are the desktop's, not what an earlier look set.
    const QPalette base = QApplication::palette(&control);
    QPalette palette = control.palette();
    palette.setColor(QPalette::Base, ColorFromValue(Color, base));
    palette.setColor(QPalette::Text, ColorFromValue(FontColor, base));
    control.setPalette(palette);
    control.setFont(FontFromStyle(FontName, FontSize, FontStyle));
}

// A folder that could not be read is not an empty one: the count says why.
void TMainForm::ShellListViewShListChange(TSHFileList* fileList) {
    if (!startNote_.isEmpty()) {
        statusBar_->SetPanelText(spCount, startNote_);
        if (!fileList->Listing()) startNote_.clear();
        return;
    }
    const QString failure = fileList->ReadFailureText();
    statusBar_->SetPanelText(spCount,
                             failure.isEmpty() ? QStringLiteral("%1 個のオブジェクト").arg(fileList->Count()) : failure);
}

void TMainForm::ShellTreeViewFolderUnreadable(const QString& text) { statusBar_->SetPanelText(spCount, text); }

void TMainForm::ShellListViewShSelChange(std::int64_t selSize) {
    const int selected = shellListView_->SelectedCount();
    if (selected == 0) {
        ShellListViewShListChange(&shellListView_->FileList());
        return;
    }
    statusBar_->SetPanelText(spCount,
                             QStringLiteral("%1 個 ( %2 ) のオブジェクトを選択").arg(selected).arg(SizeText(selSize)));
}

void TMainForm::ShellListViewCustomDrawItem(int item, TListItemCanvas& canvas) {
    TSHFileItem* entry = shellListView_->FileList().GetItem(item);
    if (entry == nullptr) return;
    const std::uint32_t attributes = entry->Attributes();
    const TAttributeColors& colors = attributeColors_;
    // Later tests win: read-only shows over hidden, hidden over system,
    // and so on down to offline.
    const std::pair<std::uint32_t, std::uint32_t> byAttribute[] = {
        {platform::kAttrOffline, colors.Offline},     {platform::kAttrCompressed, colors.Compressed},
        {platform::kAttrTemporary, colors.Temporary}, {platform::kAttrArchive, colors.Archive},
        {platform::kAttrDirectory, colors.Directory}, {platform::kAttrSystem, colors.System},
        {platform::kAttrHidden, colors.Hidden},       {platform::kAttrReadOnly, colors.ReadOnly}};
    for (const auto& [attribute, color] : byAttribute)
        if ((attributes & attribute) != 0) canvas.FontColor = ColorFromValue(color, QApplication::palette(shellListView_));
}

void TMainForm::ShellListViewShFolderLock(bool lock) { ListLook(lock).ApplyTo(*shellListView_); }

void TMainForm::StatusBarResize() {
    int rest = statusBar_->width();
    for (int i = 5; i >= 1; --i) {
        statusBar_->SetPanelWidth(i, kPanelWidths[i - 1]);
        rest -= kPanelWidths[i - 1];
    }
    statusBar_->SetPanelWidth(spCount, rest);
}

QString TMainForm::SizeText(std::int64_t bytes) {
    constexpr std::int64_t kKilo = 1024;
    constexpr std::int64_t kMega = kKilo * 1024;
    constexpr std::int64_t kGiga = kMega * 1024;
    if (bytes < kKilo) return QString::number(bytes) + QStringLiteral("バイト");
    if (bytes < kMega) return GroupedTwoDecimals(double(bytes) / double(kKilo)) + QStringLiteral("KB");
    if (bytes < kGiga) return GroupedTwoDecimals(double(bytes) / double(kMega)) + QStringLiteral("MB");
    return GroupedTwoDecimals(double(bytes) / double(kGiga)) + QStringLiteral("GB");
}

void TMainForm::ShowImageProperties(bool loaded) {
    const TRasterInfo& info = raster_->Info();
    statusBar_->SetPanelText(spSize, loaded ? QStringLiteral("横:%1 / 縦:%2 pixel").arg(info.Width).arg(info.Height)
                                            : QString());
    statusBar_->SetPanelText(
        spDensity, loaded ? QStringLiteral("横:%1 / 縦:%2 dpi").arg(info.XDensity).arg(info.YDensity) : QString());
    statusBar_->SetPanelText(spDepth, loaded ? QStringLiteral("%1 bit").arg(info.ColorDepth) : QString());
    statusBar_->SetPanelText(spPointer, QString());
}

void TMainForm::RasterLoadProgress(int position, bool& cancel) {
    // The bar repaints at once on every step; a few dozen steps a second
    // are all the eye sees, and each repaint would cost the decode time.
    if (position >= 100 || progressShown_.hasExpired(kProgressInterval.count())) {
        statusBar_->ProgressBar()->setValue(position);
        progressShown_.start();
    }
    ShowAwaitedPlugin();
    cancel = raster_->LoadCancel();
}

void TMainForm::ShowAwaitedPlugin() {
    // A plug-in that has not returned from an abandoned load holds this one
    // up: the bar says which, and how to stop waiting.
    const QString awaited = raster_->AwaitedPlugin();
    QProgressBar* bar = statusBar_->ProgressBar();
    if (!awaited.isEmpty()) bar->setFormat(QStringLiteral("Plug-In「%1」の応答を待っています（Esc で中止）").arg(awaited));
    bar->setTextVisible(!awaited.isEmpty());
}

void TMainForm::RasterMouseMove(int x, int y) {
    if (!raster_->HasImage() || !raster_->ActiveTool()->InImage()) {
        statusBar_->SetPanelText(spPointer, QString());
        return;
    }
    const QPoint at = raster_->ScreenToImage(x, y);
    statusBar_->SetPanelText(spPointer, QStringLiteral("X=%1  Y=%2").arg(Grouped(at.x()), Grouped(at.y())));
}

void TMainForm::RasterActiveToolClick(int x, int y) {
    const QPoint at = raster_->ScreenToImage(x, y);
    floatEditX_->SetValue(at.x());
    floatEditY_->SetValue(at.y());
}

void TMainForm::RasterMouseWheel(bool up) {
    if (!raster_->HasImage() || (mouseWheel_ != 0 && mouseWheel_ != 1)) return;
    // The wheel zooms about the middle of the view, not the pointer.
    const QSize client = RasterClientSize(*raster_);
    const QPoint centre(client.width() / 2, client.height() / 2);
    const bool zoomIn = (mouseWheel_ == 1) == up;
    raster_->ZoomAt(centre, zoomIn ? zdZoomIn : zdZoomOut);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched != raster_) return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::MouseMove) {
        // The tool works out first whether the pointer is on the image.
        static_cast<QObject*>(raster_)->event(event);
        const QPoint at = raster_->PointerPos();
        RasterMouseMove(at.x(), at.y());
        return true;
    }
    if (event->type() == QEvent::Wheel) {
        const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
        if (delta != 0) RasterMouseWheel(delta > 0);
    }
    return false;
}
