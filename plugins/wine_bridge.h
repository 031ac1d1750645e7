#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/folder_scan.h"
#include "platform/shared_memory.h"
#include "spi.h"

namespace spibridge {
struct Reply;
struct Request;
}  // namespace spibridge

// Where and how the helpers run. The defaults suit the program; tests point
// them elsewhere.
struct TWineBridgeSettings {
    // The Wine loader, looked up on PATH.
    std::string WineCommand = "wine";
    // The folder of the helper programs; empty: beside the executable, else
    // the installed plug-in folder.
    std::string HelperFolder;
    // A helper that sends nothing for this long while a plug-in works (no
    // result, no progress report) counts as hung and is killed. Generous:
    // a slow plug-in on a large file that reports no progress takes
    // seconds, not tens of seconds.
    std::chrono::milliseconds SilenceTimeout{20000};
    // The first start creates Wine's settings folder, which takes several
    // seconds on a fast machine.
    std::chrono::milliseconds StartTimeout{120000};
};

enum class TWindowsBitness { Win32, Win64 };

// What opening a Windows plug-in found.
struct TWindowsPluginHandle {
    std::uint32_t Id = 0;
    std::uint64_t Generation = 0;
    // GetPluginInfo(0..3) with a 255-byte buffer: result and text.
    std::array<std::int32_t, 4> InfoResults{};
    std::array<std::string, 4> InfoTexts;
};

// One helper process of one bitness, run under Wine: started on first use,
// kept for the session, restarted after it crashed, hung or talked
// nonsense. Calls from several threads take turns; a call made from a
// progress report of another one on the same thread passes.
class TWineBridge {
public:
    static TWineBridge& Of(TWindowsBitness bitness);
    // Replaces the settings of both helpers and stops them; the next use
    // starts them with the new ones.
    static void Configure(const TWineBridgeSettings& settings);
    static TWineBridgeSettings Settings();
    // Ends both helpers.
    static void StopAll();

    ~TWineBridge();
    TWineBridge(const TWineBridge&) = delete;
    TWineBridge& operator=(const TWineBridge&) = delete;

    // Loads the plug-in in the helper (again when the file changed since).
    // Null when it is not a usable plug-in; *unavailable then says why when
    // the reason is this machine (no Wine, no helper) rather than the file.
    std::optional<TWindowsPluginHandle> Open(const std::string& path, std::string* unavailable);

    int GetPluginInfo(TWindowsPluginHandle& plugin, const std::string& path, int infono, char* buf, int buflen);
    int IsSupported(TWindowsPluginHandle& plugin, const std::string& path, const char* filename, std::intptr_t dw);
    int GetPictureInfo(TWindowsPluginHandle& plugin, const std::string& path, const char* buf, std::int32_t len,
                       std::uint32_t flag, PictureInfo* info);
    int GetPicture(TWindowsPluginHandle& plugin, const std::string& path, const char* buf, std::int32_t len,
                   std::uint32_t flag, HLOCAL* info, HLOCAL* bits, SPI_PROGRESS progress, std::intptr_t data);

    // How long the plug-in itself worked in the last GetPicture, without the
    // time its progress reports took.
    std::chrono::nanoseconds LastPluginTime() const { return lastPluginTime_; }
    // Counts the helper's ends; a plug-in handle of an earlier helper is
    // opened again before use.
    std::uint64_t Generation() const { return generation_; }
    bool IsRunning() const { return child_.IsStarted(); }
    // The helper's process id while it runs, else -1 (for measuring it).
    int HelperProcessId() const { return child_.ProcessId(); }

private:
    explicit TWineBridge(TWindowsBitness bitness) : bitness_(bitness) {}

    struct CachedOpen {
        platform::FileIdentity Identity;
        TWindowsPluginHandle Handle;
    };

    bool EnsureStarted(std::string& unavailable);
    bool Start(std::string& unavailable);
    void Stop();
    // Ends a helper that failed; the call that saw it returns failure.
    void Fail();
    // What the helper that ended had: its segments and opened plug-ins.
    void Forget();

    struct Output;

    bool Send(const spibridge::Request& request, const void* payload = nullptr);
    bool Receive(spibridge::Reply& reply, std::string* payload, std::chrono::milliseconds timeout,
                 const std::function<bool()>& stopWaiting = {});
    // Sends a request and waits for its result, relaying progress reports
    // and placing the bitmap of a GetPicture into output. False (and the
    // helper gone) when the helper broke, fell silent or talked nonsense.
    bool Transact(const spibridge::Request& request, const void* payload, spibridge::Reply& reply,
                  std::string* replyPayload, SPI_PROGRESS progress = nullptr, std::intptr_t data = 0,
                  Output* output = nullptr);
    // Starts the helper when needed and opens the plug-in again when the
    // handle is from an earlier helper.
    bool Ready(TWindowsPluginHandle& plugin, const std::string& path);
    std::optional<TWindowsPluginHandle> OpenInHelper(const std::string& path, const platform::FileIdentity& identity,
                                                     std::string* unavailable);
    // The input segment of the current call depth, holding bytes and then
    // zeroPadding zero bytes, mapped in the helper; 0 when it cannot be had.
    std::uint32_t InputSegment(const char* data, std::size_t bytes, std::size_t zeroPadding);
    // Has the helper map a segment at its current size; with await, waits
    // for its answer (inside a GetPicture the answer is the call's result).
    bool MapSegment(std::uint32_t id, const platform::SharedMemory& memory, bool await);
    std::optional<int> AskAllOpened(const TWindowsPluginHandle& plugin, std::uint32_t segment,
                                    const std::string& question, const std::string& name);
    void DropGoneSegments();
    bool PlaceOutput(const spibridge::Reply& need, Output& output);

    const TWindowsBitness bitness_;
    std::recursive_mutex callMutex_;
    platform::ChildProcess child_;
    std::atomic<std::uint64_t> generation_{0};
    int depth_ = 0;
    std::vector<std::pair<std::uint32_t, std::unique_ptr<platform::SharedMemory>>> inputs_;
    // Segments the helper has mapped, with the size it mapped.
    std::map<std::uint32_t, std::uint64_t> mapped_;
    std::chrono::steady_clock::time_point startFailedAt_{};
    std::string startFailure_;
    std::chrono::nanoseconds lastPluginTime_{0};

    // The answers of every open plug-in to the last IsSupported question
    // (the leading bytes and the file name), by plug-in id.
    struct Answers {
        std::string Question;
        std::uint64_t Generation = 0;
        std::map<std::uint32_t, int> Results;
    };
    Answers answered_;
    // Set once a plug-in broke the helper while others were asked for it.
    bool askOneByOne_ = false;

    // Libraries that ended a fresh helper too while it opened them.
    struct EndedOpening {
        platform::FileIdentity Identity;
        std::chrono::steady_clock::time_point At;
    };
    std::map<std::string, EndedOpening> endedOpening_;

    std::mutex cacheMutex_;
    std::map<std::string, CachedOpen> opened_;
};

// The bitness of a Windows DLL at path: a PE image for i386 or x86-64 with
// the DLL flag. Empty for anything else.
std::optional<TWindowsBitness> WindowsLibraryBitness(const std::string& path);

// Which helper program serves a bitness.
const char* HelperProgramName(TWindowsBitness bitness);
