#pragma once

#include <functional>
#include <vector>

// Work on many items that the calling (main) thread waits for, such as the
// check before a question: each piece runs on a thread of its own while
// the calling thread goes on with its events, input held back, so that the
// window keeps painting and its timers run. Returns when every piece is
// done. The pieces must not touch what the events may change meanwhile.
namespace platform {

void RunBesideEvents(const std::vector<std::function<void()>>& pieces);

}  // namespace platform
