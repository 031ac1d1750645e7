// Bringing an image into the view and out of it again: decoding through
// the plug-ins on the view's decode thread or taking the bitmap read ahead,
// showing it with its layers, closing it.
#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>

#include <QEventLoop>
#include <QScopeGuard>
#include <QScrollBar>

#include "platform/hourglass_cursor.h"
#include "platform/message_box.h"
#include "platform/path_text.h"
#include "plugins/plug_turn.h"
#include "raster/decode_thread.h"
#include "raster/dib_painter.h"
#include "raster/dib_view.h"
#include "raster/raster.h"
#include "raster/raster_object_tools.h"
#include "raster/read_ahead.h"

namespace {

void Warn(QWidget* owner, const QString& text) {
    platform::ShowMessage(owner, text, platform::MessageIcon::Warning);
}

// A plug-in that reports the same position again within this time is not
// reported to the view again; one that waits for a busy plug-in reports 0
// at about this pace, and each of those is.
constexpr std::chrono::milliseconds kRepeatedReportSpan{15};

}  // namespace

// What a load shares with its decode on the decode thread. The decode does
// not wait for the view: its progress reports queue up and reach
// OnLoadProgress in order, and a cancel there ends the load at that very
// report, whatever the plug-in has done since. The decode keeps the job
// alive after the view gave it up.
struct TRaster::TLoadJob : std::enable_shared_from_this<TLoadJob> {
    class TDecoder;

    TLoadJob(QString file, std::string plugins) : path(std::move(file)), folder(std::move(plugins)) {}

    // The decode, on the decode thread.
    void Decode(TSusiePlugs& plugs);
    // Queues a progress report; true when the view gave the load up.
    bool Report(int position);
    // Under mutex, with view set: has the view deliver what came, on its thread.
    void Wake();

    const QString path;
    const std::string folder;
    const std::shared_ptr<TPlugTurn> turn = std::make_shared<TPlugTurn>(TPlugTurn::TPriority::Foreground);

    std::mutex mutex;
    TRaster* view = nullptr;               // guarded by mutex; null once the view is done with the job
    std::deque<int> reports;               // guarded by mutex: positions not yet delivered
    bool woken = false;                    // guarded by mutex: a delivery is on its way
    bool pictureStarted = false;           // guarded by mutex
    QString awaitedPlugin;                 // guarded by mutex
    bool decoded = false;                  // guarded by mutex: the decode has ended
    std::unique_ptr<TDecodedImage> image;  // guarded by mutex
    QString failure;                       // guarded by mutex

    // The decode thread's own: the last position reported.
    int reportedPosition = -1;
    std::chrono::steady_clock::time_point reportedAt;

    // The view's own.
    TLoadEnd end = TLoadEnd::Running;
    bool delivering = false;
    QEventLoop* waiting = nullptr;
};

class TRaster::TLoadJob::TDecoder : public TImageDecoder {
public:
    explicit TDecoder(TLoadJob& job) : job_(job) { Turn = job.turn; }

    void PictureStarted() override {
        const std::lock_guard lock(job_.mutex);
        job_.pictureStarted = true;
    }
    void AwaitingPlugin(const std::string& fileName) override {
        const std::lock_guard lock(job_.mutex);
        job_.awaitedPlugin = platform::ShownText(platform::PathText(fileName));
    }
    bool Progress(int position) override { return job_.Report(position); }
    bool Cancelled() const override {
        const std::lock_guard lock(job_.mutex);
        return job_.view == nullptr;
    }

private:
    TLoadJob& job_;
};

void TRaster::TLoadJob::Wake() {
    if (woken) return;
    woken = true;
    QMetaObject::invokeMethod(
        view, [view = view, job = shared_from_this()] { view->DeliverLoadNews(job); }, Qt::QueuedConnection);
}

bool TRaster::TLoadJob::Report(int position) {
    const auto now = std::chrono::steady_clock::now();
    const std::lock_guard lock(mutex);
    if (view == nullptr) return true;
    if (position == reportedPosition && now - reportedAt < kRepeatedReportSpan) return false;
    reportedPosition = position;
    reportedAt = now;
    reports.push_back(position);
    Wake();
    return false;
}

void TRaster::TLoadJob::Decode(TSusiePlugs& plugs) {
    std::unique_ptr<TDecodedImage> bitmap;
    QString why;
    try {
        plugs.SetPath(folder);
        TDecoder decoder(*this);
        bitmap = decoder.Decode(plugs, path, why);
    } catch (const std::bad_alloc&) {
        bitmap.reset();
        why = TImageDecoder::ResultMessage(SPI_NO_MEMORY);
    }
    const std::lock_guard lock(mutex);
    // A bitmap nobody waits for goes here, on this thread.
    if (view == nullptr) return;
    image = std::move(bitmap);
    failure = why;
    decoded = true;
    Wake();
}

bool TRaster::LoadFromFile(const QString& path) {
    if (!LoadCanStart()) return false;
    // Also one whose decode has ended and whose image waits to be shown.
    if (load_ != nullptr) EndLoad(load_, TLoadEnd::Superseded);
    const auto job = std::make_shared<TLoadJob>(path, plugs_->Path());
    load_ = job;
    const auto forget = qScopeGuard([this, &job] {
        if (load_ == job) load_.reset();
    });
    loadCancel_ = false;
    try {
        {
            ++settlingLoads_;
            const auto settled = qScopeGuard([this] { --settlingLoads_; });
            const platform::HourglassCursor hourglass;
            CloseImage();
            document_->SetFileName(path);
            // Rescanned as the decode thread rescans its own registry.
            plugs_->Refresh();
            if (std::unique_ptr<TDecodedImage> ready = readAhead_->Take(path, plugs_->Path())) {
                EndLoad(job, TLoadEnd::Decoded);
                paintMode_ = pmColorOn;
                ShowDecodedImage(std::move(ready));
                return true;
            }
        }
        // The window went while the side file's question was open.
        if (job->end != TLoadEnd::Running) return false;
        return DecodeAndShow(job);
    } catch (const std::bad_alloc&) {
        if (job->end == TLoadEnd::Running) EndLoad(job, TLoadEnd::Abandoned);
        // Whatever the load had built goes, which gives the memory back
        // for the message.
        if (HasImage())
            CloseImage();
        else
            FreeImage();
        Warn(this, TImageDecoder::ResultMessage(SPI_NO_MEMORY));
        return false;
    }
}

bool TRaster::DecodeAndShow(const std::shared_ptr<TLoadJob>& job) {
    {
        const std::lock_guard lock(job->mutex);
        job->view = this;
    }
    try {
        decodeThread_->Run(job->turn, [job](TSusiePlugs& plugs) { job->Decode(plugs); });
    } catch (const std::system_error&) {
        // No thread to decode on: the system is short of memory or threads.
        EndLoad(job, TLoadEnd::Abandoned);
        Warn(this, TImageDecoder::ResultMessage(SPI_NO_MEMORY));
        return false;
    }
    AwaitLoadEnd(job);
    switch (job->end) {
    case TLoadEnd::Running:
    case TLoadEnd::Superseded:  // the later load owns the view now
    case TLoadEnd::Abandoned: return false;
    case TLoadEnd::Cancelled: Warn(this, TImageDecoder::ResultMessage(SPI_ABORT)); return false;
    case TLoadEnd::Decoded: break;
    }
    std::unique_ptr<TDecodedImage> image;
    QString failure;
    {
        const std::lock_guard lock(job->mutex);
        image = std::move(job->image);
        failure = job->failure;
        if (job->pictureStarted) paintMode_ = pmColorOn;
    }
    if (image == nullptr) {
        if (!failure.isEmpty()) Warn(this, failure);
        return false;
    }
    ++settlingLoads_;
    const auto settled = qScopeGuard([this] { --settlingLoads_; });
    const platform::HourglassCursor hourglass;
    ShowDecodedImage(std::move(image));
    return true;
}

void TRaster::AwaitLoadEnd(const std::shared_ptr<TLoadJob>& job) {
    QEventLoop loop;
    job->waiting = &loop;
    if (job->end == TLoadEnd::Running) loop.exec();
    job->waiting = nullptr;
    // The application quitting ends every event loop.
    if (job->end == TLoadEnd::Running) EndLoad(job, TLoadEnd::Abandoned);
}

bool TRaster::Loading() const { return load_ != nullptr && load_->end == TLoadEnd::Running; }

void TRaster::DeliverLoadNews(const std::shared_ptr<TLoadJob>& job) {
    // A handler that lets events run finds the reports that come meanwhile
    // delivered in order by the delivery it runs in.
    if (job->end != TLoadEnd::Running || job->delivering) return;
    job->delivering = true;
    const auto delivered = qScopeGuard([&job] { job->delivering = false; });
    for (;;) {
        int position = 0;
        {
            const std::lock_guard lock(job->mutex);
            if (job->pictureStarted) paintMode_ = pmColorOn;
            if (job->reports.empty()) {
                job->woken = false;
                if (!job->decoded) return;
                break;
            }
            position = job->reports.front();
            job->reports.pop_front();
        }
        bool cancel = false;
        if (OnLoadProgress) OnLoadProgress(this, position, cancel);
        // The handler may have begun another load or closed the window.
        if (job->end != TLoadEnd::Running) return;
        if (cancel) {
            EndLoad(job, TLoadEnd::Cancelled);
            return;
        }
    }
    EndLoad(job, TLoadEnd::Decoded);
}

void TRaster::EndLoad(const std::shared_ptr<TLoadJob>& job, TLoadEnd end) {
    {
        const std::lock_guard lock(job->mutex);
        job->view = nullptr;
    }
    // A decode that has not ended stops at its next report; one inside a
    // plug-in that never returns keeps its thread, which is let go.
    if (end != TLoadEnd::Decoded) job->turn->Abandon();
    job->end = end;
    if (job->waiting != nullptr) job->waiting->quit();
}

void TRaster::SetLoadCancel(bool value) {
    loadCancel_ = value;
    if (!value || !Loading()) return;
    bool reportsDue = load_->delivering;
    {
        const std::lock_guard lock(load_->mutex);
        reportsDue = reportsDue || !load_->reports.empty();
    }
    // The handler's answer to the next report carries the cancel.
    if (!reportsDue || !OnLoadProgress) EndLoad(load_, TLoadEnd::Cancelled);
}

QString TRaster::AwaitedPlugin() const {
    if (!Loading()) return QString();
    const std::lock_guard lock(load_->mutex);
    return load_->awaitedPlugin;
}

void TRaster::AbandonLoad() {
    if (Loading()) EndLoad(load_, TLoadEnd::Abandoned);
}

void TRaster::ReadAhead(const QString& path) {
    if (path.isEmpty())
        readAhead_->Drop();
    else
        readAhead_->Prepare(path, plugs_->Path());
}

QString TRaster::ReadAheadPath() const { return readAhead_->Path(); }

bool TRaster::ReadAheadReady() const { return readAhead_->Ready(); }

void TRaster::ShowDecodedImage(std::unique_ptr<TDecodedImage> image) {
    document_->SetImage(std::move(image));
    const TDibView& dib = document_->Image()->Dib();
    maxX_ = dib.Width() - 1;
    maxY_ = dib.Height() - 1;
    viewLeft_ = viewTop_ = 0;
    viewRight_ = maxX_;
    viewBottom_ = maxY_;
    dispLeft_ = dispTop_ = dispRight_ = dispBottom_ = 0;
    vStep_ = std::max(double(maxY_) / scrollUnit_, 1.0);
    hStep_ = std::max(double(maxX_) / scrollUnit_, 1.0);
    dibPainter_ = std::make_unique<TDibPainter>(dib);
    dibPainter_->OnCopiesReady = [this] { update(); };
    // The image and its margins cover the whole client from now on.
    eraseBackground_ = false;
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent, true);

    LoadAnnotations(AnnotationPath(FileName()));
    Layout();
}

void TRaster::CloseForMemoryShortage() {
    memoryShortagePending_ = false;
    if (!HasImage()) return;
    CloseImage();
    Warn(this, TImageDecoder::ResultMessage(SPI_NO_MEMORY));
}

void TRaster::FreeImage() {
    dibPainter_.reset();
    document_->FreeImage();
}

void TRaster::CloseImage() {
    if (!HasImage()) return;
    FreeImage();
    maxX_ = maxY_ = 0;
    dispLeft_ = dispTop_ = dispRight_ = dispBottom_ = 0;
    viewLeft_ = viewTop_ = viewRight_ = viewBottom_ = 0;
    scaleX_ = scaleY_ = 0;
    activeTool_ = tools_->Find<TRasterObjectSelectTool>();
    eraseBackground_ = true;
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(true);
    if (!destroying_) {
        horizontalBar_->hide();
        verticalBar_->hide();
    }
    if (Modified()) SaveAnnotationsAtClose();
    // The changes went with the layers, also when the user kept the old
    // side file; they must not mark the next image.
    document_->ClearAnnotations();
    if (!destroying_) {
        RebuildTreeView();
        update();
    }
}
