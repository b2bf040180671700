# How the tests of a 32-bit x86 Linux build (-m32 on an x86-64 machine) are run.
#
# Kernels built without 32-bit program support refuse such programs ("Exec format error"), so the
# suite cannot depend on it. ZQX_X86_RUNNER chooses:
#   AUTO   (default) run a probe program natively; if the kernel refuses it, use qemu-i386; if
#          neither works, stop the configure step with a message saying what to install
#   NATIVE run the programs directly (the configure step fails if the kernel cannot)
#   QEMU   run them under qemu-i386 even where the kernel could run them itself
# With qemu, CMAKE_CROSSCOMPILING_EMULATOR becomes `qemu-i386 -L /`, through which add_test() and
# gtest_discover_tests() run every test program. -L / has the emulator load this machine's own
# 32-bit loader and libraries (Debian's multilib).
#
# The root includes this before defining any target, since targets copy the emulator setting
# when they are created. Sets ZQX_X86_RUN_MODE to "native" or "qemu-i386" in the caller's scope.

set(ZQX_X86_RUNNER AUTO CACHE STRING "How 32-bit x86 test programs run: AUTO, NATIVE or QEMU")
set_property(CACHE ZQX_X86_RUNNER PROPERTY STRINGS AUTO NATIVE QEMU)

# Runs `launcher... program` and sets out_var to TRUE when it printed a 32-bit pointer width.
function(zqx_x86_program_runs out_var program)
  execute_process(COMMAND ${ARGN} ${program}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
  if(result EQUAL 0 AND output MATCHES "^32")
    set(${out_var} TRUE PARENT_SCOPE)
  else()
    set(${out_var} FALSE PARENT_SCOPE)
    set(${out_var}_WHY "${result} ${error}" PARENT_SCOPE)
  endif()
endfunction()

function(zqx_choose_x86_runner)
  string(TOUPPER "${ZQX_X86_RUNNER}" choice)
  if(NOT choice MATCHES "^(AUTO|NATIVE|QEMU)$")
    message(FATAL_ERROR "zqx: ZQX_X86_RUNNER must be AUTO, NATIVE or QEMU, not '${ZQX_X86_RUNNER}'")
  endif()

  # Built with the project's own flags (-m32 and the rest), as every test program is.
  set(probe ${CMAKE_BINARY_DIR}/CMakeFiles/zqx_x86_probe)
  try_compile(built
    SOURCES ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/probes/pointer_width.cpp
    OUTPUT_VARIABLE build_output
    COPY_FILE ${probe})
  if(NOT built)
    message(FATAL_ERROR "zqx: cannot build a 32-bit x86 program (is g++-multilib installed?)\n${build_output}")
  endif()

  if(NOT choice STREQUAL "QEMU")
    zqx_x86_program_runs(native ${probe})
    if(native)
      set(ZQX_X86_RUN_MODE native PARENT_SCOPE)
      message(STATUS "zqx: 32-bit x86 test programs run natively")
      return()
    endif()
    if(choice STREQUAL "NATIVE")
      message(FATAL_ERROR "zqx: this kernel cannot execute 32-bit x86 programs (${native_WHY}); "
        "configure with -DZQX_X86_RUNNER=QEMU (Debian package qemu-user)")
    endif()
  endif()

  find_program(ZQX_QEMU_I386 qemu-i386)
  if(NOT ZQX_QEMU_I386)
    message(FATAL_ERROR "zqx: this kernel cannot execute 32-bit x86 programs and qemu-i386 is "
      "missing: install Debian's qemu-user (tools/install-deps.sh qemu-user)")
  endif()
  set(emulator ${ZQX_QEMU_I386} -L /)
  zqx_x86_program_runs(emulated ${probe} ${emulator})
  if(NOT emulated)
    message(FATAL_ERROR "zqx: 32-bit x86 programs run neither natively nor under "
      "'${ZQX_QEMU_I386} -L /' (${emulated_WHY})")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR "${emulator}" PARENT_SCOPE)
  set(ZQX_X86_RUN_MODE qemu-i386 PARENT_SCOPE)
  message(STATUS "zqx: 32-bit x86 test programs run under the emulator: ${ZQX_QEMU_I386} -L /")
endfunction()

zqx_choose_x86_runner()
