#pragma once
#include <glib-object.h>

#include <memory>

namespace tovik {

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};

// Owns one reference to a GObject.
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};

// Owns memory from g_malloc (strings returned by GLib).
using GCharPtr = std::unique_ptr<char, GFreeDeleter>;

struct GBytesUnref {
    void operator()(GBytes* bytes) const { g_bytes_unref(bytes); }
};

// Owns one reference to a GBytes.
using GBytesPtr = std::unique_ptr<GBytes, GBytesUnref>;

}  // namespace tovik
