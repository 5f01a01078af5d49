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
//
// The runtime keeps no record of its own of the dynamic thread-local blocks
// (those glibc makes for the thread-local data of a library loaded late,
// such as the LLVM library under the software OpenGL driver). That record
// guesses a block's bounds: a block that starts 16 bytes past a page
// boundary is taken for the layout of glibc 2.19, with its start and size
// in the 16 bytes before it. glibc 2.36 takes these blocks from malloc, so
// those bytes are the address sanitizer's chunk header, and the leak check
// at exit scanned from the allocation's stack id (an address such as
// 0x2438) and died after the tests had passed ("Tracer caught signal 11",
// "LeakSanitizer has encountered a fatal error"), in about one OpenGL test
// program in a few hundred. The check still scans these blocks without the
// record: it counts what the dynamic loader allocated as reachable, and the
// blocks are the loader's allocations.

#define SANITIZER_HOOK extern "C" __attribute__((visibility("default"), used))

SANITIZER_HOOK const char* __asan_default_options()
{
    return "detect_leaks=1:intercept_tls_get_addr=0";
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
