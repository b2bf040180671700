# cmake -DFILE=<library> -DEXPECTED=a,b,c [-DTOOL=nm|<objdump>] [-DIMPORTS=x.dll,y.dll]
#       -P check_exports.cmake
# Fails unless the library's exported symbols are exactly EXPECTED: the defined dynamic symbols of
# an ELF file (TOOL nm, the default), or the name table of a PE file's export directory (TOOL an
# objdump that reads PE). For PE files, IMPORTS lists DLLs the file must import (case-insensitive),
# and every DLL it imports must be a Windows DLL or lie in the same folder.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" EXPECTED "${EXPECTED}")
string(REPLACE "," ";" IMPORTS "${IMPORTS}")
set(imported "")

if(NOT DEFINED TOOL OR TOOL STREQUAL "nm")
  execute_process(COMMAND nm -D --defined-only "${FILE}" OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${FILE}")
  endif()
  string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" lines "${out}")
  set(found "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "" sym "${line}")
    list(APPEND found "${sym}")
  endforeach()
else()
  execute_process(COMMAND ${TOOL} -p "${FILE}" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${TOOL} failed on ${FILE}: ${err}")
  endif()
  if(NOT out MATCHES "file format pei-")
    message(FATAL_ERROR "${FILE} is not a PE file")
  endif()
  # The names are the lines "\t[   n] name" that follow "[Ordinal/Name Pointer] Table"; a library
  # without an export directory has no such table and so exports nothing. The brackets go before
  # anything becomes a list element: CMake does not split a list inside unbalanced brackets.
  set(found "")
  if(out MATCHES "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)*)")
    string(REGEX REPLACE "[ \t]+\\[[ 0-9]+\\] ([^\n]+)\n" "\\1;" found "${CMAKE_MATCH_1}")
    list(TRANSFORM found STRIP)
    list(REMOVE_ITEM found "")
  endif()
  # Exceptions and std::string cross the library boundary, so the C++ runtime must be the shared
  # one (checked below), not a private static copy.
  string(REGEX MATCHALL "DLL Name: [^\n]+" import_lines "${out}")
  set(imported "")
  foreach(line IN LISTS import_lines)
    string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    list(APPEND imported "${dll}")
  endforeach()
endif()
list(SORT found)
set(want ${EXPECTED})
list(SORT want)
if(NOT found STREQUAL want)
  message(FATAL_ERROR "${FILE} exports [${found}], expected exactly [${want}]")
endif()
foreach(dll IN LISTS IMPORTS)
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST imported)
    message(FATAL_ERROR "${FILE} does not import ${dll}; it imports [${imported}]")
  endif()
endforeach()
# The output folder must run as it is: every DLL imported is part of Windows or lies beside FILE.
get_filename_component(folder "${FILE}" DIRECTORY)
file(GLOB beside RELATIVE "${folder}" "${folder}/*.dll")
list(TRANSFORM beside TOLOWER)
foreach(dll IN LISTS imported)
  if(NOT dll MATCHES "^(kernel32|msvcrt|user32|advapi32|ntdll|ws2_32|shell32|ole32)\\.dll$"
     AND NOT dll MATCHES "^api-ms-win-" AND NOT dll IN_LIST beside)
    message(FATAL_ERROR "${FILE} imports ${dll}, which is neither part of Windows nor beside it")
  endif()
endforeach()
message(STATUS "${FILE}: exports ${found}")
