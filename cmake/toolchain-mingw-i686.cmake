# Cross-compiles for 32-bit x86 Windows with Debian's MinGW-w64 (package g++-mingw-w64-i686).
# The "posix" thread flavour: its libstdc++ has std::mutex, std::call_once and std::thread, which
# the "win32" flavour of this GCC release lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZQX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZQX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZQX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZQX_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${ZQX_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump that reads PE files")

set(CMAKE_FIND_ROOT_PATH /usr/${ZQX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 arithmetic instead of x87: a host process on 32-bit Windows may lower the x87 precision
# control, and x87 keeps intermediates wider than their type; with SSE2 every float and double
# operation rounds as on x86-64, whatever process loads the DLL.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# Host and plug-ins share one C++ runtime (std::string storage and exceptions cross the library
# boundary): GCC's shared libstdc++ and libgcc, never static copies. The export check verifies
# that every DLL imports these, and the build copies them beside the DLLs.
set(ZQX_SHARED_RUNTIME_DLLS libstdc++-6.dll libgcc_s_dw2-1.dll)
set(ZQX_RUNTIME_DLLS ${ZQX_SHARED_RUNTIME_DLLS} libwinpthread-1.dll)
