#include "base/TemporaryFiles.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>

namespace qb {
namespace {

// Fixed storage: the signal handler may neither allocate nor lock.
// Slots are claimed by compare-and-swap: a run's jobs claim theirs from their own threads.
struct Slot {
    std::atomic<bool> claimed{false};
    std::atomic<bool> published{false};
    char path[PATH_MAX];
};
constexpr int kSlots = 64;
Slot g_slots[kSlots];

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t g_stopFirst = 0;
volatile std::sig_atomic_t g_stopSignal = 0;

void RemoveAndEnd(int signal)
{
    if (g_stopFirst && g_stopSignal == 0) {
        g_stopSignal = signal;
        return;
    }
    for (Slot& slot : g_slots) {
        if (slot.published.load(std::memory_order_acquire))
            ::unlink(slot.path);
    }
    // A registered folder goes once the files in it have.
    for (Slot& slot : g_slots) {
        if (slot.published.load(std::memory_order_acquire))
            ::rmdir(slot.path);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

int StopSignal()
{
    return g_stopSignal;
}

void InstallSignalCleanup(bool stopFirst)
{
    g_stopFirst = stopFirst;
    struct sigaction action {};
    action.sa_handler = RemoveAndEnd;
    sigemptyset(&action.sa_mask);
    for (int signal : kCleanupSignals)
        ::sigaction(signal, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}

TemporaryFileGuard::TemporaryFileGuard(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return;  // too long to be created anyway
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        bool free = false;
        if (!slot.claimed.compare_exchange_strong(free, true, std::memory_order_acquire))
            continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.published.store(true, std::memory_order_release);
        m_slot = i;
        return;
    }
}

TemporaryFileGuard::~TemporaryFileGuard()
{
    if (m_slot >= 0) {
        g_slots[m_slot].published.store(false, std::memory_order_release);
        g_slots[m_slot].claimed.store(false, std::memory_order_release);
    }
}

UniqueFd CreateTemporaryFile(std::string& pattern, std::unique_ptr<TemporaryFileGuard>& guard)
{
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    for (int signal : kCleanupSignals)
        sigaddset(&blocked, signal);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    const int error = errno;
    if (fd.Valid())
        guard = std::make_unique<TemporaryFileGuard>(pattern);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return fd;
}

}  // namespace qb
