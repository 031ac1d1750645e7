#include "platform/work_beside_events.h"

#include <atomic>
#include <thread>

#include <QEventLoop>

namespace platform {

void RunBesideEvents(const std::vector<std::function<void()>>& pieces) {
    if (pieces.empty()) return;
    std::atomic<std::size_t> running{pieces.size()};
    QEventLoop waiting;
    {
        std::vector<std::jthread> workers;
        for (const std::function<void()>& piece : pieces)
            workers.emplace_back([&piece, &running, &waiting] {
                piece();
                if (--running == 0) QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
            });
        waiting.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

}  // namespace platform
