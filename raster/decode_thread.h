#pragma once

#include <functional>
#include <memory>

class TPlugTurn;
class TSusiePlugs;

// A thread that runs decodes one after the other, each with the plug-in
// registry the thread keeps: a registry loads and unloads its entries, so
// it belongs to one thread, and kept, it checks again only the libraries
// that changed.
//
// Not one of the shared pool: a decode abandoned inside a plug-in that
// never returns keeps its thread for good, and the pool is waited for when
// the program ends. A thread whose decode was abandoned is let go instead:
// the next decode gets a new thread, and the owner's end does not wait for
// it. A thread let go touches only what its decode shares with the owner.
class TDecodeThread {
public:
    using TDecode = std::function<void(TSusiePlugs& plugs)>;

    TDecodeThread();
    // Waits for the decode under way only when it was not abandoned.
    ~TDecodeThread();
    TDecodeThread(const TDecodeThread&) = delete;
    TDecodeThread& operator=(const TDecodeThread&) = delete;

    // Runs decode once the one under way has ended, in place of one still
    // waiting, which then never runs. turn is the decode's turn at the
    // plug-ins: once it is abandoned, the thread may be let go.
    void Run(std::shared_ptr<TPlugTurn> turn, TDecode decode);

private:
    struct TWorker;
    // The worker for the next decode: a new one when the one there is
    // runs an abandoned decode.
    TWorker& Worker();

    std::shared_ptr<TWorker> worker_;
};
