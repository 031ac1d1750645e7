#include "shared_blocks.h"

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
        segment = std::move(idle_);
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
    // One is kept, the larger: the next bitmap is likely as large as the
    // last ones.
    std::shared_ptr<Segment> dropped = segment;
    if (idle_ == nullptr || segment->memory.Size() >= idle_->memory.Size()) std::swap(dropped, idle_);
    if (dropped != nullptr) alive_.erase(dropped->id);
}
