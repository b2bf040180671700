// A library that exports the three plug-in names with the wrong decoration: newInstance as
// stdcall (exported as "newInstance@8" on 32-bit Windows) and getModuleInfo with C++ linkage
// (mangled). The export check must reject it.
#if defined(_WIN32)
#define ZQX_TEST_EXPORT __declspec(dllexport)
#if defined(__i386__) || defined(_M_IX86)
#define ZQX_TEST_STDCALL __stdcall
#endif
#else
#define ZQX_TEST_EXPORT __attribute__((visibility("default")))
#endif
#ifndef ZQX_TEST_STDCALL
#define ZQX_TEST_STDCALL
#endif

extern "C" ZQX_TEST_EXPORT void* ZQX_TEST_STDCALL newInstance(void*, void*) { return nullptr; }
extern "C" ZQX_TEST_EXPORT void deleteInstance(void*) {}
ZQX_TEST_EXPORT void* getModuleInfo() { return nullptr; }
