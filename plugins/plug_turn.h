#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Plug-ins are called on one thread at a time: a plug-in written for a host
// that decodes only on its main thread may keep state between its calls. A
// decode holds the turn from its first IsSupported to its last call for its
// file; a decode started from a progress report of another one on the same
// thread passes.
//
// A decode in the background (ahead of need) never makes the foreground
// wait: the foreground takes the turn and the background decode is
// abandoned. Its calls that have not begun are refused. One under way in a
// Windows plug-in ends with its helper (wine_bridge). One under way in a
// plug-in of this process cannot be stopped: until it returns, that plug-in
// is busy, and nobody else calls its decoding exports.
class TPlugTurn {
public:
    enum class TPriority { Foreground, Background };

    explicit TPlugTurn(TPriority priority) : priority_(priority) {}
    TPlugTurn(const TPlugTurn&) = delete;
    TPlugTurn& operator=(const TPlugTurn&) = delete;

    // From any thread: the decode that holds or awaits this turn no longer
    // may call plug-ins, and the turn is free for others at once.
    void Abandon();
    bool Abandoned() const { return abandoned_.load(); }
    // Whether the decode is inside a call into a plug-in of this process.
    // Once abandoned, that can only end.
    bool InNativeCall() const;

private:
    friend class TPlugTurnHold;
    friend class TNativePlugCall;

    const TPriority priority_;
    std::atomic<bool> abandoned_{false};
};

// Holds a turn for one scope.
class TPlugTurnHold {
public:
    // Waits for the turn. A foreground turn abandons a background holder
    // instead of waiting for it. Held() is false when cancelled() (asked
    // every few milliseconds while waiting) said so first, or when the
    // turn was abandoned.
    TPlugTurnHold(std::shared_ptr<TPlugTurn> turn, const std::function<bool()>& cancelled);
    ~TPlugTurnHold();
    TPlugTurnHold(const TPlugTurnHold&) = delete;
    TPlugTurnHold& operator=(const TPlugTurnHold&) = delete;

    bool Held() const { return held_; }

private:
    std::shared_ptr<TPlugTurn> turn_;
    TPlugTurn* holder_ = nullptr;  // the turn whose hold this one counts in
    TPlugTurn* outerTurn_ = nullptr;
    bool held_ = false;
};

// Brackets one call into the code of a plug-in library of this process
// (the library at path).
class TNativePlugCall {
public:
    enum class TKind {
        Information,  // loading the library, GetPluginInfo
        Decoding,     // IsSupported, GetPictureInfo, GetPicture
    };

    TNativePlugCall(const std::string& path, TKind kind);
    ~TNativePlugCall();
    TNativePlugCall(const TNativePlugCall&) = delete;
    TNativePlugCall& operator=(const TNativePlugCall&) = delete;

    // False: the call must not be made, because the calling decode was
    // abandoned, or (for a decoding call) the plug-in is busy.
    bool Allowed() const { return id_ != 0; }

private:
    std::uint64_t id_ = 0;  // 0: not allowed
};

// Whether the plug-in library at path is busy: an abandoned decode is
// inside one of its calls.
bool PlugBusy(const std::string& path);
// Waits until the plug-in at path is not busy; false when cancelled()
// (asked every few milliseconds) said so first.
bool WaitWhilePlugBusy(const std::string& path, const std::function<bool()>& cancelled);
// Whether the decode the calling thread holds a turn for was abandoned.
bool CurrentTurnAbandoned();
