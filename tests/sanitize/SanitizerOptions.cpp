// The default options of the address, leak and undefined-behaviour
// sanitizers, linked into every program of a sanitized build: the test
// binaries and the programs they start (the application, the stand-ins, the
// headless tool), however they are started (ctest, xvfb-run, by hand). Leaks
// are looked for at exit, with the known leaks of system libraries suppressed
// by the checked-in list (leaks.supp, next to this file); undefined behaviour
// prints the stack where it happened. ASAN_OPTIONS, LSAN_OPTIONS and
// UBSAN_OPTIONS in the environment still override these. No state; the
// sanitizer runtime reads them before main.
//
// Such a program also never unloads a shared library. The OpenGL driver is
// unloaded when the X connection closes, before the leak check at exit: the
// driver's static data, which held its lasting allocations, is gone by then,
// so each of them would be reported as a leak in an unnamed module, which no
// suppression can name. Kept loaded, they stay reachable, and whatever does
// leak names its library.

#define SANITIZER_HOOK extern "C" __attribute__((visibility("default"), used))

SANITIZER_HOOK const char* __asan_default_options()
{
    return "detect_leaks=1";
}

SANITIZER_HOOK const char* __lsan_default_options()
{
    return "suppressions=" TILEBAY_LEAK_SUPPRESSIONS ":print_suppressions=0";
}

SANITIZER_HOOK const char* __ubsan_default_options()
{
    return "print_stacktrace=1";
}

// Takes the place of the C library's dlclose in this program and every
// library it loads (the build exports the symbol).
extern "C" __attribute__((visibility("default"), used)) int dlclose(void*)
{
    return 0;
}
