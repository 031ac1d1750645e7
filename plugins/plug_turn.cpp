#include "plug_turn.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>
#include <utility>

namespace {

// A call under way into a plug-in of this process.
struct TCallRecord {
    std::uint64_t id;
    const TPlugTurn* turn;  // null for a call outside any decode
    std::string path;
};

// How often a waiting thread looks at its cancel request.
constexpr std::chrono::milliseconds kWaitSlice{20};

struct TTurnState {
    std::mutex mutex;
    std::condition_variable changed;
    TPlugTurn* holder = nullptr;
    std::thread::id holderThread;
    int depth = 0;
    std::list<TCallRecord> calls;
    std::uint64_t lastCallId = 0;
};

// Never destroyed: a thread abandoned inside a plug-in that returns only
// while the program ends must still find it.
TTurnState& State() {
    static TTurnState* state = new TTurnState;
    return *state;
}

thread_local TPlugTurn* currentTurn = nullptr;

}  // namespace

// --- TPlugTurn -----------------------------------------------------------

void TPlugTurn::Abandon() {
    TTurnState& state = State();
    const std::lock_guard lock(state.mutex);
    abandoned_ = true;
    if (state.holder == this) {
        state.holder = nullptr;
        state.depth = 0;
    }
    state.changed.notify_all();
}

bool TPlugTurn::InNativeCall() const {
    TTurnState& state = State();
    const std::lock_guard lock(state.mutex);
    return std::any_of(state.calls.begin(), state.calls.end(),
                       [this](const TCallRecord& call) { return call.turn == this; });
}

// --- TPlugTurnHold -------------------------------------------------------

TPlugTurnHold::TPlugTurnHold(std::shared_ptr<TPlugTurn> turn, const std::function<bool()>& cancelled)
    : turn_(std::move(turn)) {
    TTurnState& state = State();
    std::unique_lock lock(state.mutex);
    for (;;) {
        if (turn_->Abandoned()) return;
        if (state.holder == nullptr) {
            state.holder = turn_.get();
            state.holderThread = std::this_thread::get_id();
            state.depth = 0;
        }
        if (state.holderThread == std::this_thread::get_id()) break;
        if (turn_->priority_ == TPlugTurn::TPriority::Foreground &&
            state.holder->priority_ == TPlugTurn::TPriority::Background) {
            state.holder->abandoned_ = true;
            state.holder = nullptr;
            continue;
        }
        state.changed.wait_for(lock, kWaitSlice);
        lock.unlock();
        const bool stop = cancelled && cancelled();
        lock.lock();
        if (stop) return;
    }
    ++state.depth;
    holder_ = state.holder;
    held_ = true;
    outerTurn_ = std::exchange(currentTurn, turn_.get());
}

TPlugTurnHold::~TPlugTurnHold() {
    if (!held_) return;
    TTurnState& state = State();
    const std::lock_guard lock(state.mutex);
    currentTurn = outerTurn_;
    // An abandoned hold was given up already.
    if (state.holder != holder_ || holder_->Abandoned()) return;
    if (--state.depth == 0) state.holder = nullptr;
    state.changed.notify_all();
}

// --- Native calls --------------------------------------------------------

namespace {

bool BusyLocked(const TTurnState& state, const std::string& path) {
    return std::any_of(state.calls.begin(), state.calls.end(), [&path](const TCallRecord& call) {
        return call.turn != nullptr && call.turn->Abandoned() && call.path == path;
    });
}

}  // namespace

TNativePlugCall::TNativePlugCall(const std::string& path, TKind kind) {
    TTurnState& state = State();
    const std::lock_guard lock(state.mutex);
    if (currentTurn != nullptr && currentTurn->Abandoned()) return;
    if (kind == TKind::Decoding && BusyLocked(state, path)) return;
    id_ = ++state.lastCallId;
    state.calls.push_back(TCallRecord{id_, currentTurn, path});
}

TNativePlugCall::~TNativePlugCall() {
    if (id_ == 0) return;
    TTurnState& state = State();
    const std::lock_guard lock(state.mutex);
    state.calls.remove_if([this](const TCallRecord& call) { return call.id == id_; });
    state.changed.notify_all();
}

bool PlugBusy(const std::string& path) {
    TTurnState& state = State();
    const std::lock_guard lock(state.mutex);
    return BusyLocked(state, path);
}

bool WaitWhilePlugBusy(const std::string& path, const std::function<bool()>& cancelled) {
    TTurnState& state = State();
    std::unique_lock lock(state.mutex);
    while (BusyLocked(state, path)) {
        state.changed.wait_for(lock, kWaitSlice);
        lock.unlock();
        const bool stop = cancelled && cancelled();
        lock.lock();
        if (stop) return false;
    }
    return true;
}

bool CurrentTurnAbandoned() { return currentTurn != nullptr && currentTurn->Abandoned(); }
