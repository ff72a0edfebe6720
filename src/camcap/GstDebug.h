// The capture library's GStreamer debug category, "orvexcamcap": run with
// GST_DEBUG=orvexcamcap:5 to see what the library does next to GStreamer's own
// output. Include only from the library's .cpp files; it becomes their default
// category. Registered by GstRuntime::EnsureInitialised.
#pragma once

#include <gst/gst.h>

GST_DEBUG_CATEGORY_EXTERN(orvex_camcap_debug);
#define GST_CAT_DEFAULT orvex_camcap_debug
