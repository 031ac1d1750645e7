// Stands in for Wine and the helper in the tests of a helper that talks
// nonsense: it greets and opens plug-ins properly, then answers every call
// in the broken way KELVANDOR_FAKE_HELPER names. With "ends-on-reopen" it
// ends instead when asked to open a library again that changed since, as
// a helper does whose loaded library was rewritten in place.

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "plugins/spihost/spi_bridge_protocol.h"

using namespace spibridge;

namespace {

bool ReadExact(void* data, std::size_t bytes) {
    auto* at = static_cast<char*>(data);
    while (bytes > 0) {
        const ssize_t got = read(STDIN_FILENO, at, bytes);
        if (got <= 0) return false;
        at += got;
        bytes -= static_cast<std::size_t>(got);
    }
    return true;
}

void Write(const void* data, std::size_t bytes) {
    if (write(STDOUT_FILENO, data, bytes) != static_cast<ssize_t>(bytes)) std::exit(1);
}

void Answer(Reply reply, const std::string& payload = std::string()) {
    reply.payloadBytes = static_cast<std::uint32_t>(payload.size());
    Write(&reply, sizeof reply);
    Write(payload.data(), payload.size());
}

std::string OpenTexts() {
    std::string texts;
    for (const char* text : {"00IN", "fake", "*.ktest", "KTEST"}) {
        const std::int32_t length = static_cast<std::int32_t>(std::strlen(text));
        std::string entry(sizeof length + kInfoTextBytes, '\0');
        std::memcpy(entry.data(), &length, sizeof length);
        std::memcpy(entry.data() + sizeof length, text, std::strlen(text));
        texts += entry;
    }
    return texts;
}

void AnswerBroken(const std::string& mode) {
    Reply reply{};
    reply.kind = static_cast<std::uint32_t>(Kind::Result);
    if (mode == "oversized") {
        reply.payloadBytes = 1u << 30;
        Write(&reply, sizeof reply);
    } else if (mode == "unknown-kind") {
        reply.kind = 77;
        Answer(reply);
    } else if (mode == "huge-bitmap") {
        reply.kind = static_cast<std::uint32_t>(Kind::NeedOutput);
        reply.infoBytes = std::uint64_t{1} << 40;
        reply.bitsBytes = 16;
        Answer(reply);
    } else if (mode == "short-record") {
        Answer(reply, "abc");
    } else if (mode == "no-bitmap") {  // success, but nothing placed nor asked for
        Answer(reply);
    } else if (mode == "unasked-progress") {
        reply.kind = static_cast<std::uint32_t>(Kind::Progress);
        Answer(reply);
    } else {  // "truncated": half a reply, then the end
        Write(&reply, sizeof reply / 2);
        std::exit(0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = std::getenv("KELVANDOR_FAKE_HELPER");
    Reply hello{};
    hello.kind = static_cast<std::uint32_t>(Kind::Hello);
    hello.code = static_cast<std::int32_t>(kProtocolVersion);
    hello.length = argc > 1 && std::strstr(argv[1], "32") != nullptr ? 32 : 64;
    Answer(hello);
    std::map<std::string, std::uint64_t> opened;
    for (;;) {
        Request request{};
        if (!ReadExact(&request, sizeof request)) return 0;
        std::vector<char> payload(request.payloadBytes);
        if (!payload.empty() && !ReadExact(payload.data(), payload.size())) return 0;
        Reply reply{};
        reply.kind = static_cast<std::uint32_t>(Kind::Result);
        switch (static_cast<Op>(request.op)) {
        case Op::Open: {
            const std::string path(payload.begin(), payload.end());
            const auto known = opened.find(path);
            if (mode != nullptr && std::strcmp(mode, "ends-on-reopen") == 0 && known != opened.end() &&
                known->second != request.size)
                return 3;
            opened[path] = request.size;
            reply.plugin = 1;
            Answer(reply, OpenTexts());
            break;
        }
        case Op::MapSegment: Answer(reply); break;
        default: AnswerBroken(mode != nullptr ? mode : "");
        }
    }
}
