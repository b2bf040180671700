# zqx_add_export_checks(): one ctest case per library that a host or a plug-in binds by name,
# failing unless the built file exports exactly its names: every plug-in registered by
# zqx_add_plugin() exports newInstance, deleteInstance and getModuleInfo; tonalscan, when the
# build has it, InitPitchCalc and DestroyPitchCalc. ELF files are read with nm, PE files with the
# toolchain's objdump, which also shows that the DLL imports the shared C++ runtime
# (ZQX_SHARED_RUNTIME_DLLS in the toolchain file) and nothing that is missing from its folder.
#
# The root calls this deferred to the end of its configure step, so that libraries defined in
# any folder, in any order, are covered.
set(ZQX_CHECK_EXPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/check_exports.cmake)

# zqx_add_export_check(TARGET "name;name..." [REJECTED]): REJECTED turns the case around for the
# check's own fixtures: it passes only when the check reports a wrong export list or a missing
# runtime import, not when it fails for another reason. CMake wraps the messages, hence the line
# breaks the pattern allows.
function(zqx_add_export_check target expected)
  cmake_parse_arguments(ARG "REJECTED" "" "" ${ARGN})
  if(WIN32)
    if(NOT CMAKE_OBJDUMP)
      message(FATAL_ERROR "the export check of ${target} needs CMAKE_OBJDUMP (set by the toolchain)")
    endif()
    set(tool ${CMAKE_OBJDUMP})
  else()
    set(tool nm)
  endif()
  # Lists travel as comma-separated text: a semicolon would split the command line.
  string(REPLACE ";" "," expected_arg "${expected}")
  string(REPLACE ";" "," imports_arg "${ZQX_SHARED_RUNTIME_DLLS}")
  set(name exports.${target})
  if(ARG_REJECTED)
    set(name exports.rejects.${target})
  endif()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> "-DEXPECTED=${expected_arg}"
      -DTOOL=${tool} "-DIMPORTS=${imports_arg}" -P ${ZQX_CHECK_EXPORTS_SCRIPT})
  set_tests_properties(${name} PROPERTIES LABELS exports)
  if(ARG_REJECTED)
    set_tests_properties(${name} PROPERTIES
      PASS_REGULAR_EXPRESSION "expected[ \n]+exactly|does[ \n]+not[ \n]+import")
  endif()
endfunction()

function(zqx_add_export_checks)
  get_property(plugins GLOBAL PROPERTY ZQX_PLUGINS)
  foreach(plugin IN LISTS plugins)
    zqx_add_export_check(${plugin} "newInstance;deleteInstance;getModuleInfo")
  endforeach()
  # tonalscan exports its two functions only, on ELF too (its version script).
  if(TARGET tonalscan)
    zqx_add_export_check(tonalscan "InitPitchCalc;DestroyPitchCalc")
  endif()
endfunction()
