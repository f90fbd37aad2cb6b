#pragma once

#include <gmime/gmime.h>

#include <memory>

// Holds one reference to a GObject (a GMime stream, parser, message...) and
// drops it when it goes.
template <typename T> struct GObjectUnref
{
    void operator()(T* object) const { g_object_unref(object); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref<T>>;

// GMime is set up once, before its first use.
inline void InitGMime()
{
    static const bool initialised = (g_mime_init(), true);
    (void)initialised;
}
