#include "wine_bridge.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/application_paths.h"
#include "platform/hourglass_cursor.h"
#include "platform/regular_file.h"
#include "plugins/plug_turn.h"
#include "plugins/shared_blocks.h"
#include "plugins/spihost/spi_bridge_protocol.h"

using spibridge::Kind;
using spibridge::Op;
using spibridge::Reply;
using spibridge::Request;

namespace {

// The helper sends no more than the texts of Open in one message.
constexpr std::uint32_t kLargestReplyPayload = 1u << 17;
// A bitmap's information block: the header, a palette or masks; anything
// larger is not a bitmap.
constexpr std::uint64_t kLargestInfoBlock = 1u << 16;
// After a failed start, plug-ins are reported unavailable for this long
// before the next attempt, so a folder of them does not wait on Wine again
// and again; the same for a library that ended the helper whenever it was
// opened.
constexpr std::chrono::seconds kRetryStartAfter{60};
constexpr const char* kHelperEndedOpening =
    "Plug-In を調べている間に Windows 用の Plug-In のヘルパーが異常終了しました。";
// How long the call of an abandoned decode may go on before its helper is
// ended: a plug-in that reports progress stops well within it.
constexpr std::chrono::milliseconds kAbandonedCallGrace{100};

std::mutex settingsMutex;
TWineBridgeSettings& CurrentSettings() {
    static TWineBridgeSettings settings;
    return settings;
}

bool OnGuiThread() {
    return QCoreApplication::instance() != nullptr && QThread::currentThread() == QCoreApplication::instance()->thread();
}

std::string CacheFolder(const std::vector<std::string>& environment) {
    const std::string cache = platform::EnvironmentValue(environment, "XDG_CACHE_HOME");
    if (!cache.empty() && cache.front() == '/') return cache;
    return platform::JoinPath(platform::EnvironmentValue(environment, "HOME"), ".cache");
}

std::string FindHelper(const TWineBridgeSettings& settings, const char* name) {
    std::vector<std::string> folders;
    if (!settings.HelperFolder.empty()) {
        folders.push_back(settings.HelperFolder);
    } else {
        folders.push_back(platform::ExecutableFolder());
        folders.push_back(platform::InstalledPluginFolder(platform::ExecutableFolder()));
    }
    for (const std::string& folder : folders) {
        const std::string path = platform::JoinPath(folder, name);
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) return path;
    }
    return std::string();
}

std::uint64_t Stamp(const platform::FileIdentity& identity) {
    std::uint64_t hash = 1469598103934665603ull;
    for (const std::uint64_t value :
         {identity.device, identity.inode, static_cast<std::uint64_t>(identity.size),
          static_cast<std::uint64_t>(identity.modifiedNs), static_cast<std::uint64_t>(identity.changedNs)}) {
        hash ^= value;
        hash *= 1099511628211ull;
    }
    return hash;
}

Request MakeRequest(Op op, std::uint32_t plugin = 0) {
    Request request{};
    request.op = static_cast<std::uint32_t>(op);
    request.plugin = plugin;
    return request;
}

// A Unix path as a Windows program under Wine reaches it.
std::string WindowsPath(const char* unixPath) {
    std::string path = std::string("Z:") + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Counts the calls in progress, so that a call made from a progress report
// gets an input segment of its own.
class DepthGuard {
public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth_;
};

}  // namespace

// Where the bitmap of a GetPicture goes while the helper writes it.
struct TWineBridge::Output {
    std::shared_ptr<TSharedBlocks::Segment> Segment;
    std::uint64_t InfoBytes = 0;
    std::uint64_t BitsBytes = 0;
};

TWineBridge& TWineBridge::Of(TWindowsBitness bitness) {
    static TWineBridge win32(TWindowsBitness::Win32);
    static TWineBridge win64(TWindowsBitness::Win64);
    return bitness == TWindowsBitness::Win32 ? win32 : win64;
}

void TWineBridge::Configure(const TWineBridgeSettings& settings) {
    StopAll();
    const std::lock_guard lock(settingsMutex);
    CurrentSettings() = settings;
}

TWineBridgeSettings TWineBridge::Settings() {
    const std::lock_guard lock(settingsMutex);
    return CurrentSettings();
}

void TWineBridge::StopAll() {
    for (const TWindowsBitness bitness : {TWindowsBitness::Win32, TWindowsBitness::Win64}) {
        TWineBridge& bridge = Of(bitness);
        const std::lock_guard lock(bridge.callMutex_);
        bridge.Stop();
        bridge.startFailure_.clear();
        bridge.endedOpening_.clear();
        bridge.askOneByOne_ = false;
    }
}

TWineBridge::~TWineBridge() { Stop(); }

const char* HelperProgramName(TWindowsBitness bitness) {
    return bitness == TWindowsBitness::Win32 ? "kelvandor-spihost32.exe" : "kelvandor-spihost64.exe";
}

bool TWineBridge::EnsureStarted(std::string& unavailable) {
    if (child_.IsStarted()) return true;
    if (!startFailure_.empty() && std::chrono::steady_clock::now() - startFailedAt_ < kRetryStartAfter) {
        unavailable = startFailure_;
        return false;
    }
    if (Start(unavailable)) {
        startFailure_.clear();
        return true;
    }
    startFailure_ = unavailable;
    startFailedAt_ = std::chrono::steady_clock::now();
    return false;
}

bool TWineBridge::Start(std::string& unavailable) {
    const TWineBridgeSettings settings = Settings();
    std::vector<std::string> environment = platform::CurrentEnvironment();
    const std::string wine = platform::FindExecutable(settings.WineCommand, environment);
    if (wine.empty()) {
        unavailable = "Wine がインストールされていないため、Windows 用の Plug-In は使えません。"
                      "使うには Wine (wine, wine32, wine64) をインストールしてください。";
        return false;
    }
    const std::string helper = FindHelper(settings, HelperProgramName(bitness_));
    if (helper.empty()) {
        unavailable = std::string("Windows 用の Plug-In を読み込むヘルパー (") + HelperProgramName(bitness_) +
                      ") が見つかりません。";
        return false;
    }
    // No Wine window or dialog may appear: no display, no debugger, no
    // add-on download; the prefix is ours alone.
    platform::RemoveEnvironmentValue(environment, "DISPLAY");
    platform::RemoveEnvironmentValue(environment, "WAYLAND_DISPLAY");
    platform::SetEnvironmentValue(environment, "WINEDEBUG", "-all");
    platform::SetEnvironmentValue(environment, "WINEDLLOVERRIDES", "mscoree,mshtml=");
    const std::string prefix = platform::JoinPath(CacheFolder(environment), "kelvandor/wine");
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(prefix).parent_path(), error);
    platform::SetEnvironmentValue(environment, "WINEPREFIX", prefix);

    std::optional<platform::HourglassCursor> hourglass;
    if (OnGuiThread()) hourglass.emplace();
    const std::string failed = "Wine で Windows 用の Plug-In のヘルパーを起動できませんでした。";
    std::string reason;
    if (!child_.Start(wine, {wine, helper}, environment, reason)) {
        unavailable = failed + "\n" + reason;
        return false;
    }
    Reply hello{};
    if (!Receive(hello, nullptr, settings.StartTimeout) || hello.kind != static_cast<std::uint32_t>(Kind::Hello) ||
        hello.code != static_cast<std::int32_t>(spibridge::kProtocolVersion) ||
        hello.length != (bitness_ == TWindowsBitness::Win32 ? 32 : 64)) {
        child_.Kill();
        unavailable = failed;
        return false;
    }
    return true;
}

void TWineBridge::Stop() {
    child_.Stop(std::chrono::milliseconds(500));
    Forget();
}

void TWineBridge::Fail() {
    child_.Kill();
    Forget();
}

void TWineBridge::Forget() {
    mapped_.clear();
    // The plug-ins opened in the helper that is gone are no longer open.
    ++generation_;
}

bool TWineBridge::Send(const Request& request, const void* payload) {
    std::string message(reinterpret_cast<const char*>(&request), sizeof request);
    if (request.payloadBytes > 0) message.append(static_cast<const char*>(payload), request.payloadBytes);
    return child_.Write(message.data(), message.size());
}

bool TWineBridge::Receive(Reply& reply, std::string* payload, std::chrono::milliseconds timeout,
                          const std::function<bool()>& stopWaiting) {
    using Result = platform::ChildProcess::ReadResult;
    if (child_.Read(&reply, sizeof reply, timeout, stopWaiting) != Result::Done) return false;
    if (reply.payloadBytes > kLargestReplyPayload || (reply.payloadBytes > 0 && payload == nullptr)) return false;
    if (payload == nullptr) return true;
    payload->assign(reply.payloadBytes, '\0');
    return reply.payloadBytes == 0 ||
           child_.Read(payload->data(), payload->size(), timeout, stopWaiting) == Result::Done;
}

bool TWineBridge::Transact(const Request& request, const void* payload, Reply& reply, std::string* replyPayload,
                           SPI_PROGRESS progress, std::intptr_t data, Output* output) {
    const std::uint64_t generation = generation_;
    const std::chrono::milliseconds silence = Settings().SilenceTimeout;
    // The call of an abandoned decode gets a moment to end by itself (its
    // plug-in told to stop at a progress report); then its helper goes,
    // so that the one who abandoned it finds a helper that answers.
    std::optional<std::chrono::steady_clock::time_point> abandonedAt;
    const auto abandonedTooLong = [&abandonedAt] {
        if (!CurrentTurnAbandoned()) return false;
        const auto now = std::chrono::steady_clock::now();
        if (!abandonedAt) abandonedAt = now;
        return now - *abandonedAt >= kAbandonedCallGrace;
    };
    if (!Send(request, payload)) {
        Fail();
        return false;
    }
    for (;;) {
        // A payload where none belongs is nonsense as much as a wrong size.
        if (!Receive(reply, replyPayload, silence, abandonedTooLong)) {
            Fail();
            return false;
        }
        switch (static_cast<Kind>(reply.kind)) {
        case Kind::Result: return true;
        case Kind::Progress: {
            if (progress == nullptr) break;
            Request answer = MakeRequest(Op::ProgressAnswer);
            answer.length = progress(reply.code, reply.length, data);
            // A call from the report may have found the helper broken and
            // started another: this call's helper is gone.
            if (generation != generation_ || !child_.IsStarted()) return false;
            if (!Send(answer)) {
                Fail();
                return false;
            }
            continue;
        }
        case Kind::NeedOutput:
            if (output == nullptr || !PlaceOutput(reply, *output)) break;
            continue;
        default: break;
        }
        Fail();
        return false;
    }
}

bool TWineBridge::MapSegment(std::uint32_t id, const platform::SharedMemory& memory, bool await) {
    const auto mapped = mapped_.find(id);
    // Inside a GetPicture the helper waits for the request even when it
    // has the segment mapped already.
    if (await && mapped != mapped_.end() && mapped->second == memory.Size()) return true;
    Request request = MakeRequest(Op::MapSegment);
    request.segment = id;
    request.size = memory.Size();
    const std::string path = mapped == mapped_.end() ? memory.OtherProcessPath() : std::string();
    request.payloadBytes = static_cast<std::uint32_t>(path.size());
    mapped_[id] = memory.Size();
    if (!await) return Send(request, path.data());
    Reply reply{};
    if (!Transact(request, path.data(), reply, nullptr)) return false;
    if (reply.code == 0) return true;
    mapped_.erase(id);
    return false;
}

std::uint32_t TWineBridge::InputSegment(const char* data, std::size_t bytes, std::size_t zeroPadding) {
    const auto level = static_cast<std::size_t>(depth_ - 1);
    while (inputs_.size() <= level) inputs_.emplace_back(TSharedBlocks::Instance().NewId(), nullptr);
    auto& [id, memory] = inputs_[level];
    std::string reason;
    if (memory == nullptr) {
        memory = std::make_unique<platform::SharedMemory>();
        if (!memory->Create(bytes + zeroPadding, reason)) {
            memory.reset();
            return 0;
        }
    }
    if (!memory->Reserve(bytes + zeroPadding, reason)) return 0;
    std::memcpy(memory->Data(), data, bytes);
    std::memset(memory->Data() + bytes, 0, zeroPadding);
    return MapSegment(id, *memory, true) ? id : 0;
}

void TWineBridge::DropGoneSegments() {
    for (auto it = mapped_.begin(); it != mapped_.end();) {
        const std::uint32_t id = it->first;
        const bool input = std::any_of(inputs_.begin(), inputs_.end(), [&](const auto& entry) { return entry.first == id; });
        if (input || TSharedBlocks::Instance().IsAlive(id)) {
            ++it;
            continue;
        }
        it = mapped_.erase(it);
        Request request = MakeRequest(Op::DropSegment);
        request.segment = id;
        Reply reply{};
        if (!Transact(request, nullptr, reply, nullptr)) return;
    }
}

bool TWineBridge::PlaceOutput(const Reply& need, Output& output) {
    if (output.Segment != nullptr || need.infoBytes == 0 || need.infoBytes > kLargestInfoBlock ||
        need.bitsBytes == 0 || need.bitsBytes > (std::uint64_t{1} << 40))
        return false;
    output.InfoBytes = need.infoBytes;
    output.BitsBytes = need.bitsBytes;
    output.Segment = TSharedBlocks::Instance().Acquire(spibridge::BitsOffset(need.infoBytes) + need.bitsBytes);
    if (output.Segment == nullptr) {
        // No room here: the helper is told of a segment it cannot map and
        // answers that memory is short.
        Request nothing = MakeRequest(Op::MapSegment);
        return Send(nothing);
    }
    return MapSegment(output.Segment->id, output.Segment->memory, false);
}

std::optional<TWindowsPluginHandle> TWineBridge::OpenInHelper(const std::string& path,
                                                              const platform::FileIdentity& identity,
                                                              std::string* unavailable) {
    // A library loaded anew keeps its id but may answer otherwise.
    answered_ = Answers{};
    Request request = MakeRequest(Op::Open);
    request.size = Stamp(identity);
    request.payloadBytes = static_cast<std::uint32_t>(path.size());
    Reply reply{};
    std::string texts;
    if (!Transact(request, path.data(), reply, &texts)) return std::nullopt;
    if (reply.code == spibridge::kNotLoadable && unavailable != nullptr)
        *unavailable = "Wine で読み込めませんでした。Plug-In が必要とする DLL が足りない可能性があります。";
    if (reply.code != spibridge::kOpenedPlugin) return std::nullopt;
    constexpr std::size_t kEntry = sizeof(std::int32_t) + spibridge::kInfoTextBytes;
    if (texts.size() != spibridge::kCachedInfoTexts * kEntry || reply.plugin == 0) {
        Fail();
        return std::nullopt;
    }
    TWindowsPluginHandle handle;
    handle.Id = reply.plugin;
    handle.Generation = generation_;
    for (int n = 0; n < spibridge::kCachedInfoTexts; ++n) {
        const char* entry = texts.data() + n * kEntry;
        std::memcpy(&handle.InfoResults[n], entry, sizeof(std::int32_t));
        const char* text = entry + sizeof(std::int32_t);
        handle.InfoTexts[n].assign(text, strnlen(text, spibridge::kInfoTextBytes));
    }
    return handle;
}

std::optional<TWindowsPluginHandle> TWineBridge::Open(const std::string& path, std::string* unavailable) {
    const std::optional<platform::FileIdentity> identity = platform::IdentityOfPath(path);
    if (!identity || CurrentTurnAbandoned()) return std::nullopt;
    {
        const std::lock_guard lock(cacheMutex_);
        const auto cached = opened_.find(path);
        if (cached != opened_.end() && cached->second.Identity == *identity &&
            cached->second.Handle.Generation == generation_)
            return cached->second.Handle;
    }
    const std::lock_guard lock(callMutex_);
    // One that ended two helpers is not asked again at every scan.
    const auto ended = endedOpening_.find(path);
    if (ended != endedOpening_.end() && ended->second.Identity == *identity &&
        std::chrono::steady_clock::now() - ended->second.At < kRetryStartAfter) {
        if (unavailable != nullptr) *unavailable = kHelperEndedOpening;
        return std::nullopt;
    }
    std::optional<TWindowsPluginHandle> handle;
    std::string reason;
    bool helperEnded = false;
    // A helper that ends while it opens a library need not be the
    // library's fault: one rewritten in place pulls the code from under
    // the helper that had its old version loaded. A fresh helper asks again.
    for (int attempt = 0; attempt < 2 && !handle; ++attempt) {
        if (!EnsureStarted(reason)) {
            if (unavailable != nullptr) *unavailable = reason;
            break;
        }
        const std::uint64_t generation = generation_;
        handle = OpenInHelper(path, *identity, unavailable);
        // Ended for an abandoned decode, the helper was not at fault.
        helperEnded = !handle && generation_ != generation && !CurrentTurnAbandoned();
        if (!helperEnded) break;
    }
    // Said as a reason, so that the next scan asks again instead of
    // remembering the library as no plug-in.
    if (helperEnded) {
        endedOpening_[path] = EndedOpening{*identity, std::chrono::steady_clock::now()};
        if (unavailable != nullptr) *unavailable = kHelperEndedOpening;
    } else {
        endedOpening_.erase(path);
    }
    const std::lock_guard cacheLock(cacheMutex_);
    if (handle)
        opened_[path] = CachedOpen{*identity, *handle};
    else
        opened_.erase(path);
    return handle;
}

bool TWineBridge::Ready(TWindowsPluginHandle& plugin, const std::string& path) {
    std::string reason;
    if (!EnsureStarted(reason)) return false;
    if (plugin.Generation == generation_) return true;
    const std::optional<platform::FileIdentity> identity = platform::IdentityOfPath(path);
    if (!identity) return false;
    std::optional<TWindowsPluginHandle> reopened = OpenInHelper(path, *identity, nullptr);
    if (!reopened) return false;
    plugin = *reopened;
    return true;
}

int TWineBridge::GetPluginInfo(TWindowsPluginHandle& plugin, const std::string& path, int infono, char* buf,
                               int buflen) {
    if (buf == nullptr || buflen <= 0) return 0;
    constexpr int kCachedBuflen = spibridge::kInfoTextBytes - 1;
    if (infono >= 0 && infono < spibridge::kCachedInfoTexts && buflen == kCachedBuflen) {
        const std::string& text = plugin.InfoTexts[static_cast<std::size_t>(infono)];
        std::memcpy(buf, text.c_str(), text.size() + 1);
        return plugin.InfoResults[static_cast<std::size_t>(infono)];
    }
    if (CurrentTurnAbandoned()) return 0;
    const std::lock_guard lock(callMutex_);
    if (!Ready(plugin, path)) return 0;
    Request request = MakeRequest(Op::GetPluginInfo, plugin.Id);
    request.length = infono;
    request.flag = static_cast<std::uint32_t>(buflen);
    Reply reply{};
    std::string text;
    if (!Transact(request, nullptr, reply, &text)) return 0;
    if (text.size() != static_cast<std::size_t>(buflen)) {
        Fail();
        return 0;
    }
    std::memcpy(buf, text.data(), text.size());
    return reply.code;
}

int TWineBridge::IsSupported(TWindowsPluginHandle& plugin, const std::string& path, const char* filename,
                             std::intptr_t dw) {
    if (dw == 0 || CurrentTurnAbandoned()) return 0;
    const std::lock_guard lock(callMutex_);
    const DepthGuard depth(depth_);
    if (!Ready(plugin, path)) return 0;
    constexpr std::size_t kGuaranteedBytes = 2048;
    std::string question(reinterpret_cast<const char*>(dw), kGuaranteedBytes);
    const std::string name = filename != nullptr ? filename : "";
    question += name;
    if (question == answered_.Question && answered_.Generation == generation_) {
        const auto known = answered_.Results.find(plugin.Id);
        if (known != answered_.Results.end()) return known->second;
    }
    const std::uint32_t segment = InputSegment(question.data(), kGuaranteedBytes, 0);
    if (segment == 0) return 0;
    if (!askOneByOne_) {
        if (const std::optional<int> result = AskAllOpened(plugin, segment, question, name)) return *result;
        if (CurrentTurnAbandoned()) return 0;
        // One of the others broke the helper: from now on each is asked
        // alone, in the program's order, as if there were no helper.
        askOneByOne_ = true;
        return IsSupported(plugin, path, filename, dw);
    }
    Request request = MakeRequest(Op::IsSupported, plugin.Id);
    request.segment = segment;
    request.payloadBytes = static_cast<std::uint32_t>(name.size());
    Reply reply{};
    return Transact(request, name.data(), reply, nullptr) ? reply.code : 0;
}

// The program asks one plug-in after another until one accepts: a round
// trip each would cost more than all their answers. So the first question
// about a file goes to every plug-in open in the helper, the asked one
// first, and the answers are kept for the others.
std::optional<int> TWineBridge::AskAllOpened(const TWindowsPluginHandle& plugin, std::uint32_t segment,
                                             const std::string& question, const std::string& name) {
    std::vector<std::uint32_t> ids{plugin.Id};
    {
        const std::lock_guard cache(cacheMutex_);
        // Bounded, so that the answers fit a reply.
        constexpr std::size_t kMostAskedAtOnce = 4096;
        for (const auto& [openedPath, opened] : opened_)
            if (opened.Handle.Generation == generation_ && opened.Handle.Id != plugin.Id &&
                ids.size() < kMostAskedAtOnce)
                ids.push_back(opened.Handle.Id);
    }
    std::string payload(reinterpret_cast<const char*>(ids.data()), ids.size() * sizeof(std::uint32_t));
    payload += name;
    Request request = MakeRequest(Op::IsSupportedMany);
    request.segment = segment;
    request.length = static_cast<std::int32_t>(ids.size());
    request.payloadBytes = static_cast<std::uint32_t>(payload.size());
    Reply reply{};
    std::string results;
    if (!Transact(request, payload.data(), reply, &results)) return std::nullopt;
    if (results.size() != ids.size() * sizeof(std::int32_t)) {
        Fail();
        return std::nullopt;
    }
    answered_ = Answers{question, generation_, {}};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        std::int32_t result = 0;
        std::memcpy(&result, results.data() + i * sizeof result, sizeof result);
        answered_.Results[ids[i]] = result;
    }
    return answered_.Results[plugin.Id];
}

namespace {

// The input of GetPictureInfo and GetPicture as the plug-in gets it: the
// file's contents, or for file input its name as Wine reaches it.
struct CallInput {
    const char* data;
    std::size_t bytes;
    std::size_t padding;
    std::string name;
};

CallInput InputOf(const char* buf, std::int32_t len, std::uint32_t flag) {
    constexpr std::size_t kReadPadding = 2048;
    if ((flag & SPI_INPUT_MASK) == SPI_INPUT_MEMORY)
        return CallInput{buf, static_cast<std::size_t>(std::max<std::int32_t>(len, 0)), kReadPadding, {}};
    CallInput input{nullptr, 0, 1, WindowsPath(buf)};
    input.data = input.name.c_str();
    input.bytes = input.name.size();
    return input;
}

}  // namespace

int TWineBridge::GetPictureInfo(TWindowsPluginHandle& plugin, const std::string& path, const char* buf,
                                std::int32_t len, std::uint32_t flag, PictureInfo* info) {
    if (buf == nullptr || info == nullptr || CurrentTurnAbandoned()) return SPI_INTERNAL_ERROR;
    const std::lock_guard lock(callMutex_);
    const DepthGuard depth(depth_);
    if (!Ready(plugin, path)) return SPI_INTERNAL_ERROR;
    const CallInput input = InputOf(buf, len, flag);
    const std::uint32_t segment = InputSegment(input.data, input.bytes, input.padding);
    if (segment == 0) return SPI_NO_MEMORY;
    Request request = MakeRequest(Op::GetPictureInfo, plugin.Id);
    request.segment = segment;
    request.length = len;
    request.flag = flag;
    Reply reply{};
    std::string record;
    if (!Transact(request, nullptr, reply, &record)) return SPI_INTERNAL_ERROR;
    if (record.size() != sizeof(PictureInfo)) {
        Fail();
        return SPI_INTERNAL_ERROR;
    }
    std::memcpy(info, record.data(), sizeof(PictureInfo));
    return reply.code;
}

int TWineBridge::GetPicture(TWindowsPluginHandle& plugin, const std::string& path, const char* buf,
                            std::int32_t len, std::uint32_t flag, HLOCAL* info, HLOCAL* bits, SPI_PROGRESS progress,
                            std::intptr_t data) {
    if (info == nullptr || bits == nullptr) return SPI_INTERNAL_ERROR;
    *info = nullptr;
    *bits = nullptr;
    if (buf == nullptr || CurrentTurnAbandoned()) return SPI_INTERNAL_ERROR;
    const std::lock_guard lock(callMutex_);
    const DepthGuard depth(depth_);
    if (!Ready(plugin, path)) return SPI_INTERNAL_ERROR;
    DropGoneSegments();
    const CallInput input = InputOf(buf, len, flag);
    const std::uint32_t segment = InputSegment(input.data, input.bytes, input.padding);
    if (segment == 0) return SPI_NO_MEMORY;
    Request request = MakeRequest(Op::GetPicture, plugin.Id);
    request.segment = segment;
    request.length = len;
    request.flag = flag;
    request.size = progress != nullptr ? 1 : 0;
    Reply reply{};
    Output output;
    const bool answered = Transact(request, nullptr, reply, nullptr, progress, data, &output);
    if (!answered || reply.code != SPI_SUCCESS || reply.infoBytes == 0) {
        if (output.Segment != nullptr) {
            mapped_.erase(output.Segment->id);
            TSharedBlocks::Instance().Return(output.Segment);
        }
        if (!answered) return SPI_INTERNAL_ERROR;
        if (reply.code != SPI_SUCCESS) return reply.code;
        // A success without a bitmap placed is nonsense.
        Fail();
        return SPI_INTERNAL_ERROR;
    }
    if (output.Segment == nullptr || reply.infoBytes != output.InfoBytes || reply.bitsBytes != output.BitsBytes) {
        Fail();
        if (output.Segment != nullptr) TSharedBlocks::Instance().Return(output.Segment);
        return SPI_INTERNAL_ERROR;
    }
    lastPluginTime_ = std::chrono::nanoseconds(reply.pluginNanoseconds);
    char* start = output.Segment->memory.Data();
    *info = start;
    *bits = start + spibridge::BitsOffset(output.InfoBytes);
    TSharedBlocks::Instance().Adopt(output.Segment, *info, output.InfoBytes, *bits, output.BitsBytes);
    return SPI_SUCCESS;
}

std::optional<TWindowsBitness> WindowsLibraryBitness(const std::string& path) {
    // Opened as a checked regular file: a FIFO named like a plug-in must not
    // block the scan.
    QString reason;
    std::optional<platform::RegularFile> file = platform::RegularFile::Open(path, reason);
    constexpr std::int64_t kHeadBytes = 4096;
    std::array<char, kHeadBytes> head{};
    if (!file) return std::nullopt;
    const std::int64_t got = file->Read(head.data(), kHeadBytes, reason);
    if (got < 64 || head[0] != 'M' || head[1] != 'Z') return std::nullopt;
    std::uint32_t peOffset = 0;
    std::memcpy(&peOffset, head.data() + 0x3c, sizeof peOffset);
    constexpr std::uint32_t kFileHeaderBytes = 24;
    if (peOffset > static_cast<std::uint64_t>(got) - kFileHeaderBytes) return std::nullopt;
    const char* header = head.data() + peOffset;
    if (std::memcmp(header, "PE\0\0", 4) != 0) return std::nullopt;
    std::uint16_t machine = 0;
    std::uint16_t characteristics = 0;
    std::memcpy(&machine, header + 4, sizeof machine);
    std::memcpy(&characteristics, header + 22, sizeof characteristics);
    constexpr std::uint16_t kDll = 0x2000;
    constexpr std::uint16_t kI386 = 0x014c;
    constexpr std::uint16_t kAmd64 = 0x8664;
    if ((characteristics & kDll) == 0) return std::nullopt;
    if (machine == kI386) return TWindowsBitness::Win32;
    if (machine == kAmd64) return TWindowsBitness::Win64;
    return std::nullopt;
}
