// A shared library without the plug-in exports, for the loader's missing-symbol error.
extern "C" int zqxNotAPlugin() { return 42; }
