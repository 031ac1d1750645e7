#include "shared_blocks.h"

#include <algorithm>
#include <string>

TSharedBlocks& TSharedBlocks::Instance() {
    static TSharedBlocks blocks;
    return blocks;
}

std::uint32_t TSharedBlocks::NewId() {
    const std::lock_guard lock(mutex_);
    return nextId_++;
}

std::shared_ptr<TSharedBlocks::Segment> TSharedBlocks::Acquire(std::size_t bytes) {
    std::shared_ptr<Segment> segment;
    {
        const std::lock_guard lock(mutex_);
        // The smallest idle segment that fits; else the largest, grown.
        auto best = idle_.end();
        for (auto it = idle_.begin(); it != idle_.end(); ++it) {
            const bool fits = (*it)->memory.Size() >= bytes;
            if (best == idle_.end()) {
                best = it;
                continue;
            }
            const bool bestFits = (*best)->memory.Size() >= bytes;
            if (fits && (!bestFits || (*it)->memory.Size() < (*best)->memory.Size())) best = it;
            if (!fits && !bestFits && (*it)->memory.Size() > (*best)->memory.Size()) best = it;
        }
        if (best != idle_.end()) {
            segment = *best;
            idle_.erase(best);
        }
    }
    std::string reason;
    if (segment != nullptr) return segment->memory.Reserve(bytes, reason) ? segment : nullptr;
    segment = std::make_shared<Segment>();
    if (!segment->memory.Create(bytes, reason)) return nullptr;
    segment->id = NewId();
    const std::lock_guard lock(mutex_);
    alive_[segment->id] = segment;
    return segment;
}

void TSharedBlocks::Return(const std::shared_ptr<Segment>& segment) {
    const std::lock_guard lock(mutex_);
    MakeIdle(segment);
}

void TSharedBlocks::Adopt(const std::shared_ptr<Segment>& segment, HLOCAL info, std::size_t infoBytes, HLOCAL bits,
                          std::size_t bitsBytes) {
    const std::lock_guard lock(mutex_);
    segment->liveBlocks = 2;
    blocks_[info] = Block{segment, infoBytes};
    blocks_[bits] = Block{segment, bitsBytes};
}

std::size_t TSharedBlocks::BlockSize(HLOCAL block) const {
    const std::lock_guard lock(mutex_);
    const auto found = blocks_.find(block);
    return found != blocks_.end() ? found->second.bytes : 0;
}

bool TSharedBlocks::Free(HLOCAL block) {
    const std::lock_guard lock(mutex_);
    const auto found = blocks_.find(block);
    if (found == blocks_.end()) return false;
    const std::shared_ptr<Segment> segment = found->second.segment;
    blocks_.erase(found);
    if (--segment->liveBlocks == 0) MakeIdle(segment);
    return true;
}

bool TSharedBlocks::IsAlive(std::uint32_t id) const {
    const std::lock_guard lock(mutex_);
    const auto found = alive_.find(id);
    return found != alive_.end() && !found->second.expired();
}

void TSharedBlocks::MakeIdle(const std::shared_ptr<Segment>& segment) {
    idle_.push_back(segment);
    // Keep the largest: the next bitmap is likely as large as the last ones.
    std::sort(idle_.begin(), idle_.end(),
              [](const auto& a, const auto& b) { return a->memory.Size() > b->memory.Size(); });
    while (idle_.size() > kIdleSharedSegments) {
        alive_.erase(idle_.back()->id);
        idle_.pop_back();
    }
}
