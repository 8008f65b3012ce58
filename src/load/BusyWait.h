#pragma once

#include "odbc/DatabaseError.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace qb {

// A busy or locked database says nothing of the work: the same work goes
// again after growing pauses, until it is done, fails otherwise, the wait
// (seconds) is over or keepGoing() says the run is to stop.
template <typename Work, typename KeepGoing>
void WaitWhileBusy(double seconds, KeepGoing&& keepGoing, Work&& work)
{
    auto pause = std::chrono::milliseconds(20);
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        try {
            work();
            return;
        } catch (const DatabaseError& error) {
            if (!error.Busy() || std::chrono::steady_clock::now() + pause > until || !keepGoing())
                throw;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(2000));
    }
}

}  // namespace qb
