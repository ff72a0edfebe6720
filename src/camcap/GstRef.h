// Owning smart pointers for GStreamer and GLib objects, so that every reference
// the capture library takes is released on every path. Plain types, no threads.
#pragma once

#include <gst/gst.h>

#include <memory>

struct GstObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
struct GstCapsUnref {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
struct GstSampleUnref {
    void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
struct GstMessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
struct GstStructureFree {
    void operator()(GstStructure* structure) const { gst_structure_free(structure); }
};
struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GFree {
    void operator()(gpointer block) const { g_free(block); }
};

using GstElementRef = std::unique_ptr<GstElement, GstObjectUnref>;
using GstBusRef = std::unique_ptr<GstBus, GstObjectUnref>;
using GstPadRef = std::unique_ptr<GstPad, GstObjectUnref>;
using GstDeviceRef = std::unique_ptr<GstDevice, GstObjectUnref>;
using GstDeviceMonitorRef = std::unique_ptr<GstDeviceMonitor, GstObjectUnref>;
using GstCapsRef = std::unique_ptr<GstCaps, GstCapsUnref>;
using GstSampleRef = std::unique_ptr<GstSample, GstSampleUnref>;
using GstMessageRef = std::unique_ptr<GstMessage, GstMessageUnref>;
using GstStructureRef = std::unique_ptr<GstStructure, GstStructureFree>;
using GErrorRef = std::unique_ptr<GError, GErrorFree>;
using GCharRef = std::unique_ptr<gchar, GFree>;

// Takes a new reference to a GStreamer object (a GstDevice, an element, ...).
template <typename T>
std::unique_ptr<T, GstObjectUnref> RefGstObject(T* object) {
    return std::unique_ptr<T, GstObjectUnref>(
        object != nullptr ? static_cast<T*>(gst_object_ref(object)) : nullptr);
}
