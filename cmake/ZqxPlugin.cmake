# zqx_add_plugin(NAME SOURCES... LINK libs...)
# Builds a plug-in: a MODULE library named exactly NAME (no "lib" prefix) that exports only
# newInstance, deleteInstance and getModuleInfo. Registers NAME in ZQX_PLUGINS so that the
# export check covers it.
set(ZQX_PLUGIN_EXPORTS_MAP ${CMAKE_CURRENT_LIST_DIR}/../framework/plugin_exports.map)
set(ZQX_PLUGIN_EXPORTS_DEF ${CMAKE_CURRENT_LIST_DIR}/../framework/plugin_exports.def)
# Shared libraries resolve every symbol at link time, except in fuzz builds: there clang's
# sanitizer and coverage hooks come from the harness executable that loads them.
if(ZQX_BUILD_FUZZ)
  set(ZQX_NO_UNDEFINED_LINK_OPTION "")
else()
  set(ZQX_NO_UNDEFINED_LINK_OPTION "-Wl,-z,defs")
endif()

function(zqx_add_plugin name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "")
  target_link_libraries(${name} PRIVATE zqx::framework ${ARG_LINK})
  if(WIN32)
    target_sources(${name} PRIVATE ${ZQX_PLUGIN_EXPORTS_DEF})
  elseif(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_link_options(${name} PRIVATE
      "-Wl,--version-script=${ZQX_PLUGIN_EXPORTS_MAP}" ${ZQX_NO_UNDEFINED_LINK_OPTION})
    set_target_properties(${name} PROPERTIES
      LINK_DEPENDS ${ZQX_PLUGIN_EXPORTS_MAP}
      BUILD_RPATH "\$ORIGIN" INSTALL_RPATH "\$ORIGIN")
  endif()
  set_property(GLOBAL APPEND PROPERTY ZQX_PLUGINS ${name})
endfunction()
