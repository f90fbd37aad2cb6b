#include "SignalCleanup.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {

// A slot is free, being filled, or watched; the handler reads watched ones only.
enum SlotState
{
    kFree,
    kFilling,
    kWatched,
};

struct Slot
{
    std::atomic<int> state{kFree};
    int dir = -1;
    char name[256] = {};
};

// A save names a temporary file or a backup at most; a few spare slots let
// saves overlap.
Slot g_slots[8];
std::atomic<int> g_holds{0};
std::atomic<int> g_pending{0};

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Removes the watched files, then ends the process as `signal` would have,
// had it not been handled. Safe in a signal handler.
void endWith(int signal)
{
    for (Slot& slot : g_slots)
        if (slot.state.load() == kWatched)
            ::unlinkat(slot.dir, slot.name, 0);
    struct sigaction fallback
    {
    };
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
}

void onSignal(int signal)
{
    if (g_holds.load() > 0) {
        g_pending.store(signal);
        return;
    }
    endWith(signal);
}

} // namespace

void SignalCleanup::install()
{
    for (const int signal : kSignals) {
        struct sigaction old
        {
        };
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction handler
        {
        };
        handler.sa_handler = onSignal;
        sigemptyset(&handler.sa_mask);
        // A signal that waits for a Hold must not break the calls it arrived in.
        handler.sa_flags = SA_RESTART;
        ::sigaction(signal, &handler, nullptr);
    }
}

void SignalCleanup::File::watch(int dir, const std::string& name)
{
    release();
    if (name.size() >= sizeof Slot::name)
        return;
    for (int i = 0; i < int(std::size(g_slots)); ++i) {
        int expected = kFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, kFilling))
            continue;
        g_slots[i].dir = dir;
        std::memcpy(g_slots[i].name, name.c_str(), name.size() + 1);
        g_slots[i].state.store(kWatched);
        m_slot = i;
        return;
    }
}

void SignalCleanup::File::release()
{
    if (m_slot >= 0)
        g_slots[m_slot].state.store(kFree);
    m_slot = -1;
}

SignalCleanup::Hold::Hold()
{
    ++g_holds;
}

SignalCleanup::Hold::~Hold()
{
    if (--g_holds == 0)
        if (const int signal = g_pending.exchange(0))
            endWith(signal);
}
