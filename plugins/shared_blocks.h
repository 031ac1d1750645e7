#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/shared_memory.h"
#include "spi.h"

// The bitmaps a Windows plug-in decodes reach the program in shared memory
// that the helper writes into, and stay there: the two blocks handed out as
// the result of GetPicture are addresses inside such a segment, known to
// LocalBlockSize and FreeLocalBlock. When both blocks of a segment are
// freed, the segment is kept for the next bitmap (its pages stay mapped on
// both sides) unless a larger one is kept already.
class TSharedBlocks {
public:
    struct Segment {
        std::uint32_t id = 0;
        platform::SharedMemory memory;
        int liveBlocks = 0;
    };

    static TSharedBlocks& Instance();

    // A segment of at least bytes for the next bitmap, now owned by the
    // caller until Adopt; null when memory is short.
    std::shared_ptr<Segment> Acquire(std::size_t bytes);
    // Hands a segment back unused.
    void Return(const std::shared_ptr<Segment>& segment);
    // Records the two blocks of a bitmap placed in segment.
    void Adopt(const std::shared_ptr<Segment>& segment, HLOCAL info, std::size_t infoBytes, HLOCAL bits,
               std::size_t bitsBytes);

    // Size of a block handed out here; 0 when the block is not one of them.
    std::size_t BlockSize(HLOCAL block) const;
    // Frees a block handed out here; false when it is not one of them.
    bool Free(HLOCAL block);

    // Whether the segment with this id still exists (a helper that maps one
    // that is gone may unmap it).
    bool IsAlive(std::uint32_t id) const;
    // A fresh id for any segment shared with a helper.
    std::uint32_t NewId();

private:
    TSharedBlocks() = default;
    void MakeIdle(const std::shared_ptr<Segment>& segment);

    struct Block {
        std::shared_ptr<Segment> segment;
        std::size_t bytes = 0;
    };

    mutable std::mutex mutex_;
    std::map<const void*, Block> blocks_;
    std::shared_ptr<Segment> idle_;
    std::map<std::uint32_t, std::weak_ptr<Segment>> alive_;
    std::uint32_t nextId_ = 1;
};
