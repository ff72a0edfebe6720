// Points the sanitizers at this module's suppression files, so that a plain ctest
// run under the asan and tsan presets filters GStreamer's own reports. Options given
// in TSAN_OPTIONS or LSAN_OPTIONS are applied after these and win.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_options() {
    return "suppressions=" ORVEX_TSAN_SUPPRESSIONS;
}
#endif

#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_options() {
    return "suppressions=" ORVEX_LSAN_SUPPRESSIONS;
}
#endif
