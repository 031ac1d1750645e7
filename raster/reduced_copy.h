#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QObject;
class TDibView;

// The image reduced by 2^Shift in both directions: every pixel the average
// of a block of source pixels (smaller blocks at the right and bottom
// edges), stored top-down as B, G, R bytes like the rows of a 24-bit bitmap.
struct TReducedCopy {
    int Shift = 0;
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Bgr;

    const std::uint8_t* Row(int y) const { return Bgr.data() + std::size_t(y) * std::size_t(Width) * 3; }
    // Bytes of the copy of a width x height image reduced by 2^shift.
    static std::size_t BytesFor(int width, int height, int shift);
};

// Builds one reduced copy on the program's thread pool, from the bitmap or
// from a finer copy (which must outlive the builder). Ready is called on
// the thread of context once the copy is complete; a builder destroyed
// before that stops the work and waits for the pool to let go of the
// bitmap, and ready is never called. The pool gets one thread fewer than
// it has, so that the thread of context can join in with Help.
class TReducedCopyBuilder {
public:
    TReducedCopyBuilder(const TDibView& dib, const TReducedCopy* finer, int shift, QObject* context,
                        std::function<void()> ready);
    ~TReducedCopyBuilder();
    TReducedCopyBuilder(const TReducedCopyBuilder&) = delete;
    TReducedCopyBuilder& operator=(const TReducedCopyBuilder&) = delete;

    // Builds parts of the copy on the calling thread until every part is
    // taken.
    void Help();

    int Shift() const;
    std::size_t Bytes() const;
    bool Done() const;
    // The finished copy; only once Done.
    TReducedCopy Take();

private:
    struct TJob;
    std::shared_ptr<TJob> job_;
};
