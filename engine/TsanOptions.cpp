// Built into programs that use the engine, only under ThreadSanitizer:
// points the sanitizer at the suppressions for the uninstrumented OpenAL
// library, so the programs are clean whether run by CTest or by hand.
// TSAN_OPTIONS given in the environment still adds to or overrides this.
extern "C" const char* __tsan_default_options() { return "suppressions=" GLW_TSAN_SUPPRESSIONS; }
