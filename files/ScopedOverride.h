#pragma once

#include <utility>

// Puts a new value into a hook for as long as it lives, then puts back the
// value that it found there. Overrides made inside one another therefore
// unwind in order: when an inner one ends, the outer one is in force again.
// Every replaceable part of the program (the dialogs, the decoder, the
// write call, the main window) is set this way.
template <class T> class ScopedOverride
{
public:
    ScopedOverride(T& slot, T value) : m_slot(slot), m_saved(std::exchange(slot, std::move(value)))
    {}
    ~ScopedOverride() { m_slot = std::move(m_saved); }

    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

private:
    T& m_slot;
    T m_saved;
};
