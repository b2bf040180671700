# Copies the MinGW runtime DLLs (ZQX_RUNTIME_DLLS from the toolchain file) into the output folder
# and installs them beside the binaries, so the folder runs on Windows as it is.
foreach(dll IN LISTS ZQX_RUNTIME_DLLS)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
    message(FATAL_ERROR "the compiler does not ship ${dll}")
  endif()
  file(COPY ${dll_path} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  install(FILES ${dll_path} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()
