# Fails unless PROGRAM (a Windows executable) imports only DLLs that every Windows has.
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DPROGRAM=prog.exe -P check_imports.cmake
cmake_minimum_required(VERSION 3.22)
set(system_dlls
  advapi32.dll comctl32.dll comdlg32.dll gdi32.dll gdiplus.dll iphlpapi.dll kernel32.dll
  msimg32.dll msvcrt.dll ole32.dll oleaut32.dll rpcrt4.dll shell32.dll shlwapi.dll user32.dll
  ws2_32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed (${rc})")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" entries "${dump}")
if(NOT entries)
  message(FATAL_ERROR "${PROGRAM}: no import table found")
endif()
set(foreign)
foreach(entry ${entries})
  string(REGEX REPLACE "DLL Name: *" "" dll "${entry}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  message(STATUS "${PROGRAM} imports ${dll}")
  if(NOT dll IN_LIST system_dlls)
    list(APPEND foreign ${dll})
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${PROGRAM} needs DLLs that Windows does not have: ${foreign}")
endif()
