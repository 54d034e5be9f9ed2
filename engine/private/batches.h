// SPDX-License-Identifier: MIT
// Batches computed on threads and taken in the order they were read: the
// calling thread reads the next batch while up to `jobs` others compute,
// and hands each outcome on in the table's order, so that what a run
// writes does not depend on how many threads computed it.
#pragma once

#include <deque>
#include <future>

namespace engine {

// `next(batch)` reads a batch (false: none left); `compute(batch)` gives
// its outcome on some thread; `take(outcome)`, on the calling thread,
// returns whether to go on. Once it says no, outcomes still under way are
// handed to `drop`.
template<typename Batch, typename Next, typename Compute, typename Take, typename Drop>
void inOrder(int jobs, Next next, Compute compute, Take take, Drop drop)
{
    using Outcome = decltype(compute(std::declval<Batch &>()));
    std::deque<std::future<Outcome>> running;
    bool going = true;
    Batch batch;
    while (going && next(batch)) {
        if (jobs == 1) {
            going = take(compute(batch));
            continue;
        }
        running.push_back(std::async(
            std::launch::async, [&compute, b = std::move(batch)]() mutable { return compute(b); }));
        if (qsizetype(running.size()) > jobs) {
            going = take(running.front().get());
            running.pop_front();
        }
    }
    for (auto &outcome : running) {
        if (going)
            going = take(outcome.get());
        else
            drop(outcome.get());
    }
}

} // namespace engine
