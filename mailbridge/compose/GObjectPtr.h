#pragma once

#include <glib-object.h>

#include <memory>

// Releases one reference of a GObject; GMime's objects are all reference counted.
struct GObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};

// Holds exactly one reference to a GObject.
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Takes over the reference a C call returned ("transfer full").
template <typename T> GObjectPtr<T> adoptGObject(T *object)
{
    return GObjectPtr<T>(object);
}

// Takes a reference of its own to an object the caller keeps ("transfer none").
template <typename T> GObjectPtr<T> shareGObject(T *object)
{
    if (object)
        g_object_ref(object);
    return GObjectPtr<T>(object);
}

// Frees a string GLib allocated.
struct GFreeDeleter
{
    void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFreeDeleter>;
