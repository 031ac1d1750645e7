#pragma once

#include <functional>

// Splits [0, total) into bands and runs work(first, count) on each, on the
// program's one thread pool and on the calling thread at once; returns
// when every band is done. The calling thread takes bands itself, so the
// work completes even when the pool is busy with something else.
void RunInBands(int total, int bandCount, const std::function<void(int first, int count)>& work);
