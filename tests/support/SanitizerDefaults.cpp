// Points the sanitizers at the suppression files beside it, so that a plain ctest run
// under the asan and tsan presets filters the reports of GStreamer and Qt. Options
// given in ASAN_OPTIONS, LSAN_OPTIONS or TSAN_OPTIONS are applied after these and win.
#if defined(__SANITIZE_ADDRESS__)
// GLib and its friends have no frame pointers: the fast unwinder stops at g_malloc,
// too early to tell a library's own allocation from one of ours. The slow unwinder
// with a short stack is the cheapest way to see far enough.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0:malloc_context_size=8";
}

extern "C" const char* __lsan_default_options() {
    return "suppressions=" ORVEX_LSAN_SUPPRESSIONS;
}
#endif

#if defined(__SANITIZE_THREAD__)
// A test that has started GStreamer's threads may still start a program or a decoder:
// the child only execs, which is safe after a multi-threaded fork.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1:die_after_fork=0:"
           "suppressions=" ORVEX_TSAN_SUPPRESSIONS;
}
#endif
