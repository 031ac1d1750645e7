#pragma once

// The messages between the program and its Windows plug-in helper (run
// under Wine). Both sides are little-endian x86; every field has a fixed
// width, so the 32-bit and the 64-bit helper read the same bytes.
//
// The program writes requests to the helper's standard input; the helper
// answers on its standard output. Bulk data never goes through the pipe:
// file contents and decoded bitmaps lie in shared memory segments, files
// the helper opens by name and maps.
//
// A request is answered by exactly one Result, before which a GetPicture
// may send Progress messages (each answered by a ProgressAnswer request)
// and one NeedOutput (answered by a MapSegment request naming where the
// bitmap goes). While the helper waits for a ProgressAnswer it serves any
// other request, so a progress report may itself use a plug-in.

#include <cstdint>

namespace spibridge {

constexpr std::uint32_t kProtocolVersion = 2;

enum class Op : std::uint32_t {
    // Maps segment `segment` of `size` bytes. With a payload, the payload is
    // the file's Unix path and the helper (re)opens it; without one it maps
    // the file it holds again at the new size.
    MapSegment = 1,
    DropSegment,
    // Payload: the library's Unix path. stamp: the file's identity; a
    // library already loaded under another stamp is loaded anew.
    Open,
    // The calls of one opened plug-in. The input lies at the start of
    // segment `segment`.
    IsSupported,
    GetPictureInfo,
    GetPicture,
    ProgressAnswer,
    // GetPluginInfo(length, buffer of flag bytes) for a number or a buffer
    // other than those Open answered. The reply's payload is the buffer.
    GetPluginInfo,
    // IsSupported of `length` plug-ins in one round trip, in the order of
    // their ids: the payload is the ids (uint32 each), then the file name.
    // The reply's payload is their results (int32 each), 0 for an id not
    // open.
    IsSupportedMany,
};

struct Request {
    std::uint32_t op;
    std::uint32_t plugin;   // the id Open answered
    std::uint32_t segment;  // the segment of the input, or the one to map
    std::int32_t length;    // len of the call; ProgressAnswer: the answer
    std::uint32_t flag;     // flag of the call; GetPluginInfo: buflen
    std::uint32_t payloadBytes;
    std::uint64_t size;   // MapSegment: bytes; Open: the stamp; GetPicture: 1 when the program has a callback
};
static_assert(sizeof(Request) == 32);

enum class Kind : std::uint32_t {
    Hello = 1,  // sent once at start: code = kProtocolVersion
    Result,
    Progress,    // code = nNum, length = nDenom
    NeedOutput,  // infoBytes and bitsBytes of the bitmap to place
};

// What Open answers in code.
enum OpenResult : std::int32_t {
    kOpenedPlugin = 0,
    kNotLoadable = 1,  // LoadLibrary failed (not a library, missing DLL, other bitness)
    kNotPlugin = 2,    // no "00IN" or an export missing
};

// The texts of GetPluginInfo(0..3) come with Open, so asking for them costs
// no round trip.
constexpr int kCachedInfoTexts = 4;
constexpr int kInfoTextBytes = 256;

struct Reply {
    std::uint32_t kind;
    std::int32_t code;  // Result: the function's result; Open: an OpenResult
    std::int32_t length;
    std::uint32_t plugin;        // Open: the plug-in's id
    std::uint64_t infoBytes;     // GetPicture: bytes of the information block, at offset 0 of the output segment
    std::uint64_t bitsBytes;     // GetPicture: bytes of the pixel block, at offset BitsOffset(infoBytes)
    std::uint64_t pluginNanoseconds;  // time spent inside the plug-in's own call
    std::uint32_t payloadBytes;  // Open: kCachedInfoTexts texts of kInfoTextBytes, each preceded by its int32 result;
                                 // GetPictureInfo: the 28-byte record
    std::uint32_t reserved;
};
static_assert(sizeof(Reply) == 48);

// Where the pixel block starts in an output segment: after the information
// block, at a 64-byte boundary.
constexpr std::uint64_t BitsOffset(std::uint64_t infoBytes) { return (infoBytes + 63) & ~std::uint64_t{63}; }

}  // namespace spibridge
