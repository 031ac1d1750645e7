// The Windows plug-in helper: a Windows program the image browser runs
// under Wine, one per bitness. It loads Windows .spi plug-ins, calls their
// four exports on the program's behalf and hands back the results; the
// messages are those of spi_bridge_protocol.h, on standard input and output.
//
// A plug-in that crashes or hangs takes only this process down: the program
// notices the closed pipe or the silence, kills it and starts another.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "spi.h"
#include "spi_bridge_protocol.h"

namespace {

using namespace spibridge;

HANDLE requests = INVALID_HANDLE_VALUE;
HANDLE replies = INVALID_HANDLE_VALUE;

// The channel is all this process has: when it breaks there is nobody left
// to answer, so the process ends.
[[noreturn]] void Quit(unsigned code) { TerminateProcess(GetCurrentProcess(), code); for (;;) {} }

void ReadExact(void* data, std::size_t bytes) {
    auto* at = static_cast<char*>(data);
    while (bytes > 0) {
        DWORD got = 0;
        if (!ReadFile(requests, at, static_cast<DWORD>(bytes), &got, nullptr) || got == 0) Quit(0);
        at += got;
        bytes -= got;
    }
}

void WriteAll(const void* data, std::size_t bytes) {
    const auto* at = static_cast<const char*>(data);
    while (bytes > 0) {
        DWORD put = 0;
        if (!WriteFile(replies, at, static_cast<DWORD>(bytes), &put, nullptr) || put == 0) Quit(1);
        at += put;
        bytes -= put;
    }
}

void Send(Reply reply, const void* payload = nullptr, std::uint32_t payloadBytes = 0) {
    reply.payloadBytes = payloadBytes;
    if (payloadBytes == 0) {
        WriteAll(&reply, sizeof reply);
        return;
    }
    std::vector<char> message(sizeof reply + payloadBytes);
    std::memcpy(message.data(), &reply, sizeof reply);
    std::memcpy(message.data() + sizeof reply, payload, payloadBytes);
    WriteAll(message.data(), message.size());
}

void SendResult(std::int32_t code) {
    Reply reply{};
    reply.kind = static_cast<std::uint32_t>(Kind::Result);
    reply.code = code;
    Send(reply);
}

struct Message {
    Request request{};
    std::string payload;
};

Message Receive() {
    Message message;
    ReadExact(&message.request, sizeof message.request);
    // The program never sends more than a path or a list of plug-in ids;
    // anything larger is a broken channel.
    if (message.request.payloadBytes > (1u << 20)) Quit(2);
    message.payload.resize(message.request.payloadBytes);
    if (!message.payload.empty()) ReadExact(message.payload.data(), message.payload.size());
    return message;
}

std::wstring WindowsPath(const std::string& unixPath) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, unixPath.data(), static_cast<int>(unixPath.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, unixPath.data(), static_cast<int>(unixPath.size()), wide.data(), length);
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    return L"Z:" + wide;
}

// --- Shared memory ----------------------------------------------------

struct Segment {
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
    char* view = nullptr;
    std::uint64_t size = 0;

    void Unmap() {
        if (view != nullptr) UnmapViewOfFile(view);
        if (mapping != nullptr) CloseHandle(mapping);
        view = nullptr;
        mapping = nullptr;
        size = 0;
    }
    void Close() {
        Unmap();
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    bool Map(std::uint64_t bytes) {
        Unmap();
        mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
                                     static_cast<DWORD>(bytes), nullptr);
        if (mapping == nullptr) return false;
        view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, static_cast<SIZE_T>(bytes)));
        if (view == nullptr) {
            Unmap();
            return false;
        }
        size = bytes;
        return true;
    }
};

std::map<std::uint32_t, Segment> segments;

bool MapSegment(const Message& message) {
    Segment& segment = segments[message.request.segment];
    if (!message.payload.empty()) {
        segment.Close();
        segment.file = CreateFileW(WindowsPath(message.payload).c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (segment.file == INVALID_HANDLE_VALUE) return false;
    }
    if (segment.file == INVALID_HANDLE_VALUE) return false;
    if (segment.view != nullptr && segment.size == message.request.size) return true;
    return segment.Map(message.request.size);
}

void DropSegment(std::uint32_t id) {
    const auto found = segments.find(id);
    if (found == segments.end()) return;
    found->second.Close();
    segments.erase(found);
}

// The start of an input segment, or null when the program named none.
char* SegmentView(std::uint32_t id) {
    const auto found = segments.find(id);
    return found != segments.end() ? found->second.view : nullptr;
}

// --- Plug-ins ---------------------------------------------------------

struct Plugin {
    std::string path;
    std::uint64_t stamp = 0;
    HMODULE module = nullptr;
    SPI_GetPluginInfo getPluginInfo = nullptr;
    SPI_IsSupported isSupported = nullptr;
    SPI_GetPictureInfo getPictureInfo = nullptr;
    SPI_GetPicture getPicture = nullptr;
};

// Loaded plug-ins stay loaded for the session; the id is the index + 1.
std::vector<Plugin> plugins;

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

OpenResult Load(Plugin& plugin) {
    plugin.module = LoadLibraryExW(WindowsPath(plugin.path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (plugin.module == nullptr) return kNotLoadable;
    plugin.getPluginInfo = Export<SPI_GetPluginInfo>(plugin.module, "GetPluginInfo");
    plugin.isSupported = Export<SPI_IsSupported>(plugin.module, "IsSupported");
    plugin.getPictureInfo = Export<SPI_GetPictureInfo>(plugin.module, "GetPictureInfo");
    plugin.getPicture = Export<SPI_GetPicture>(plugin.module, "GetPicture");
    char version[kInfoTextBytes] = {};
    if (plugin.getPluginInfo == nullptr || plugin.isSupported == nullptr || plugin.getPictureInfo == nullptr ||
        plugin.getPicture == nullptr || plugin.getPluginInfo(SPI_INFO_API_VERSION, version, kInfoTextBytes - 1) == 0 ||
        std::strncmp(version, SPI_API_VERSION, sizeof version) != 0) {
        FreeLibrary(plugin.module);
        plugin.module = nullptr;
        return kNotPlugin;
    }
    return kOpenedPlugin;
}

void Open(const Message& message) {
    std::uint32_t id = 0;
    for (std::size_t i = 0; i < plugins.size(); ++i)
        if (plugins[i].path == message.payload) id = static_cast<std::uint32_t>(i + 1);
    if (id == 0) {
        plugins.push_back(Plugin{message.payload});
        id = static_cast<std::uint32_t>(plugins.size());
    }
    Plugin& plugin = plugins[id - 1];
    Reply reply{};
    reply.kind = static_cast<std::uint32_t>(Kind::Result);
    if (plugin.module != nullptr && plugin.stamp != message.request.size) {
        FreeLibrary(plugin.module);
        plugin.module = nullptr;
    }
    plugin.stamp = message.request.size;
    reply.code = plugin.module != nullptr ? kOpenedPlugin : Load(plugin);
    if (reply.code != kOpenedPlugin) {
        Send(reply);
        return;
    }
    reply.plugin = id;
    std::vector<char> texts(kCachedInfoTexts * (sizeof(std::int32_t) + kInfoTextBytes), '\0');
    for (int n = 0; n < kCachedInfoTexts; ++n) {
        char* entry = texts.data() + n * (sizeof(std::int32_t) + kInfoTextBytes);
        const std::int32_t result = plugin.getPluginInfo(n, entry + sizeof(std::int32_t), kInfoTextBytes - 1);
        std::memcpy(entry, &result, sizeof result);
    }
    Send(reply, texts.data(), static_cast<std::uint32_t>(texts.size()));
}

Plugin* Opened(std::uint32_t id) {
    if (id == 0 || id > plugins.size() || plugins[id - 1].module == nullptr) return nullptr;
    return &plugins[id - 1];
}

// A file name the program passed with the call, or null.
const char* NameOrNull(const Message& message) { return message.payload.empty() ? nullptr : message.payload.c_str(); }

void Dispatch(const Message& message);

// --- GetPicture -------------------------------------------------------

std::int64_t Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

std::int64_t TicksPerSecond() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

// Ticks spent relaying progress during the current GetPicture: they are
// the bridge's, not the plug-in's.
std::int64_t relayTicks = 0;

// A report is relayed when the last one is this old, besides the first and
// the last of a decode: a round trip to the program costs tens of
// microseconds, and a progress bar needs no more than this. The program's
// last answer holds meanwhile, so a cancel stops the plug-in at once.
constexpr std::int64_t kRelayIntervalMs = 10;
std::int64_t lastRelay = 0;
int lastAnswer = 0;
bool relayedOnce = false;

int SPI_CALL RelayProgress(int nNum, int nDenom, intptr_t) {
    const std::int64_t start = Now();
    if (lastAnswer != 0) return lastAnswer;
    if (relayedOnce && nNum < nDenom && (start - lastRelay) * 1000 < kRelayIntervalMs * TicksPerSecond())
        return 0;
    relayedOnce = true;
    lastRelay = start;
    Reply reply{};
    reply.kind = static_cast<std::uint32_t>(Kind::Progress);
    reply.code = nNum;
    reply.length = nDenom;
    Send(reply);
    for (;;) {
        const Message message = Receive();
        if (static_cast<Op>(message.request.op) == Op::ProgressAnswer) {
            relayTicks += Now() - start;
            lastAnswer = message.request.length;
            return lastAnswer;
        }
        Dispatch(message);
    }
}

// Copies the two blocks into the output segment the program names and
// frees them. False when there is no room for them.
bool PlaceOutput(HLOCAL info, HLOCAL bits, std::uint64_t infoBytes, std::uint64_t bitsBytes) {
    Reply need{};
    need.kind = static_cast<std::uint32_t>(Kind::NeedOutput);
    need.infoBytes = infoBytes;
    need.bitsBytes = bitsBytes;
    Send(need);
    const Message answer = Receive();
    if (static_cast<Op>(answer.request.op) != Op::MapSegment || !MapSegment(answer)) return false;
    const Segment& segment = segments[answer.request.segment];
    if (segment.size < BitsOffset(infoBytes) + bitsBytes) return false;
    std::memcpy(segment.view, LocalLock(info), static_cast<std::size_t>(infoBytes));
    std::memcpy(segment.view + BitsOffset(infoBytes), LocalLock(bits), static_cast<std::size_t>(bitsBytes));
    LocalUnlock(info);
    LocalUnlock(bits);
    return true;
}

void GetPicture(const Message& message, Plugin& plugin, const char* input) {
    HLOCAL info = nullptr;
    HLOCAL bits = nullptr;
    // A GetPicture called from a progress report keeps its own relay state.
    const std::int64_t savedRelayTicks = std::exchange(relayTicks, 0);
    const int savedAnswer = std::exchange(lastAnswer, 0);
    const bool savedRelayed = std::exchange(relayedOnce, false);
    const std::int64_t start = Now();
    const int code = plugin.getPicture(input, message.request.length, message.request.flag, &info, &bits,
                                       message.request.size != 0 ? &RelayProgress : nullptr, 0);
    const std::int64_t pluginTicks = Now() - start - relayTicks;
    relayTicks = savedRelayTicks;
    lastAnswer = savedAnswer;
    relayedOnce = savedRelayed;

    Reply reply{};
    reply.kind = static_cast<std::uint32_t>(Kind::Result);
    reply.code = code;
    reply.pluginNanoseconds = static_cast<std::uint64_t>(pluginTicks * 1000000000.0 / TicksPerSecond());
    if (code == SPI_SUCCESS && info != nullptr && bits != nullptr) {
        const std::uint64_t infoBytes = LocalSize(info);
        const std::uint64_t bitsBytes = LocalSize(bits);
        if (PlaceOutput(info, bits, infoBytes, bitsBytes)) {
            reply.infoBytes = infoBytes;
            reply.bitsBytes = bitsBytes;
        } else {
            reply.code = SPI_NO_MEMORY;
        }
    }
    Send(reply);
    // Freed after the answer: the program goes on meanwhile.
    if (code == SPI_SUCCESS) {
        if (info != nullptr) LocalFree(info);
        if (bits != nullptr) LocalFree(bits);
    }
}

void Call(const Message& message) {
    Plugin* plugin = Opened(message.request.plugin);
    const char* input = SegmentView(message.request.segment);
    if (plugin == nullptr || input == nullptr) {
        SendResult(SPI_INTERNAL_ERROR);
        return;
    }
    switch (static_cast<Op>(message.request.op)) {
    case Op::IsSupported:
        SendResult(plugin->isSupported(NameOrNull(message), reinterpret_cast<intptr_t>(input)));
        break;
    case Op::GetPictureInfo: {
        PictureInfo picture{};
        Reply reply{};
        reply.kind = static_cast<std::uint32_t>(Kind::Result);
        reply.code = plugin->getPictureInfo(input, message.request.length, message.request.flag, &picture);
        Send(reply, &picture, sizeof picture);
        break;
    }
    default: GetPicture(message, *plugin, input); break;
    }
}

void GetPluginInfo(const Message& message) {
    Plugin* plugin = Opened(message.request.plugin);
    const std::uint32_t bytes = message.request.flag;
    if (plugin == nullptr || bytes > (1u << 16)) {
        SendResult(0);
        return;
    }
    // One byte more than the plug-in is told of, so the text always ends.
    std::vector<char> buffer(bytes + 1, '\0');
    Reply reply{};
    reply.kind = static_cast<std::uint32_t>(Kind::Result);
    reply.code = plugin->getPluginInfo(message.request.length, buffer.data(), static_cast<int>(bytes));
    Send(reply, buffer.data(), bytes);
}

void IsSupportedMany(const Message& message) {
    const char* input = SegmentView(message.request.segment);
    const auto count = static_cast<std::size_t>(message.request.length);
    if (input == nullptr || message.request.length < 0 || count * sizeof(std::uint32_t) > message.payload.size()) {
        SendResult(SPI_INTERNAL_ERROR);
        return;
    }
    const std::string name = message.payload.substr(count * sizeof(std::uint32_t));
    std::vector<std::int32_t> results(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t id = 0;
        std::memcpy(&id, message.payload.data() + i * sizeof id, sizeof id);
        if (Plugin* plugin = Opened(id))
            results[i] = plugin->isSupported(name.empty() ? nullptr : name.c_str(), reinterpret_cast<intptr_t>(input));
    }
    Reply reply{};
    reply.kind = static_cast<std::uint32_t>(Kind::Result);
    Send(reply, results.data(), static_cast<std::uint32_t>(results.size() * sizeof(std::int32_t)));
}

void Dispatch(const Message& message) {
    switch (static_cast<Op>(message.request.op)) {
    case Op::MapSegment: SendResult(MapSegment(message) ? 0 : -1); break;
    case Op::DropSegment:
        DropSegment(message.request.segment);
        SendResult(0);
        break;
    case Op::Open: Open(message); break;
    case Op::IsSupported:
    case Op::GetPictureInfo:
    case Op::GetPicture: Call(message); break;
    case Op::GetPluginInfo: GetPluginInfo(message); break;
    case Op::IsSupportedMany: IsSupportedMany(message); break;
    default: Quit(2);
    }
}

// A fault in a plug-in ends the process at once: no debugger, no dialog.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS*) { Quit(3); }

// The protocol owns the standard handles; a plug-in that prints or reads
// gets the error output and nothing.
HANDLE Duplicate(HANDLE handle) {
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        Quit(4);
    return copy;
}

void TakeStandardHandles() {
    requests = Duplicate(GetStdHandle(STD_INPUT_HANDLE));
    replies = Duplicate(GetStdHandle(STD_OUTPUT_HANDLE));
    const HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, errors);
    SetStdHandle(STD_INPUT_HANDLE, CreateFileW(L"NUL", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    _dup2(2, 1);
    const int nothing = _open("NUL", _O_RDONLY);
    if (nothing >= 0) _dup2(nothing, 0);
}

}  // namespace

int main() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(&EndOnFault);
    TakeStandardHandles();
    Reply hello{};
    hello.kind = static_cast<std::uint32_t>(Kind::Hello);
    hello.code = static_cast<std::int32_t>(kProtocolVersion);
    hello.length = static_cast<std::int32_t>(sizeof(void*) * 8);
    Send(hello);
    for (;;) Dispatch(Receive());
}
