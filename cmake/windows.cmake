# The Windows build (cmake/mingw-w64-x86_64.cmake), included by the top level: static
# executables, GoogleTest and the gSOAP runtime built from Debian's sources, and Wine to run
# the tests.

# Windows 7 and later; <windows.h> without its rarely used parts and without min/max macros;
# the C99 printf family of MinGW, which knows %zu and %lld.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX
                        __USE_MINGW_ANSI_STDIO=1)
# libstdc++, libgcc and winpthread are linked in: the programs need no DLL of the compiler.
add_link_options(-static)

# Tests run under Wine, in a prefix of this build folder (cmake/wine-run creates it).
set(SCOUTCAM_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine CACHE PATH "Wine prefix of the Windows tests")
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run ${SCOUTCAM_WINE_PREFIX})

# GoogleTest from the sources of Debian's googletest package.
set(SCOUTCAM_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${SCOUTCAM_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The gSOAP runtime from Debian's gsoap source package of the host's soapcpp2 version,
# unpacked outside the tree by scripts/gsoap-source. Built as Debian builds libgsoap++.
set(SCOUTCAM_GSOAP_SOURCE_DIR "" CACHE PATH "Unpacked gsoap source package (scripts/gsoap-source)")
set(GSOAP_RUNTIME_DIR ${SCOUTCAM_GSOAP_SOURCE_DIR}/gsoap)
if(NOT EXISTS ${GSOAP_RUNTIME_DIR}/stdsoap2.cpp)
  message(FATAL_ERROR "No gSOAP runtime sources in SCOUTCAM_GSOAP_SOURCE_DIR "
                      "(${SCOUTCAM_GSOAP_SOURCE_DIR}): run scripts/windows, or scripts/gsoap-source")
endif()
add_library(gsoap++ STATIC ${GSOAP_RUNTIME_DIR}/stdsoap2.cpp ${GSOAP_RUNTIME_DIR}/dom.cpp)
target_compile_definitions(gsoap++ PRIVATE WITH_IPV6)
target_include_directories(gsoap++ SYSTEM PUBLIC ${GSOAP_RUNTIME_DIR})
target_compile_options(gsoap++ PRIVATE -w)
target_link_libraries(gsoap++ PUBLIC ws2_32)

# pkg-config describes it as Debian's gsoap++.pc describes libgsoap++, so the wire protocol's
# build is the same for both platforms; its -lgsoap++ names the target above.
file(STRINGS ${GSOAP_RUNTIME_DIR}/stdsoap2.h gsoap_version_line REGEX "^#define GSOAP_VERSION ")
string(REGEX REPLACE ".* ([0-9]+)([0-9][0-9])([0-9][0-9][0-9])$" "\\1.\\2.\\3" gsoap_version
       "${gsoap_version_line}")
string(REGEX REPLACE "\\.0+([0-9])" ".\\1" gsoap_version "${gsoap_version}")
file(WRITE ${CMAKE_BINARY_DIR}/pkgconfig/gsoap++.pc
"Name: gsoap++
Description: gSOAP runtime for Windows, built from ${SCOUTCAM_GSOAP_SOURCE_DIR}
Version: ${gsoap_version}
Cflags: -DWITH_IPV6 -DWITH_DOM -I${GSOAP_RUNTIME_DIR}
Libs: -lgsoap++
")
set(ENV{PKG_CONFIG_LIBDIR} ${CMAKE_BINARY_DIR}/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Every executable of the given folders may import only DLLs that every Windows has
# (cmake/check_imports.cmake reads its import table).
function(scoutcam_check_imports)
  foreach(dir ${ARGN})
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      continue()
    endif()
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
      get_target_property(type ${target} TYPE)
      if(type STREQUAL EXECUTABLE)
        add_test(NAME imports.${target}
                 COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP}
                         -DPROGRAM=$<TARGET_FILE:${target}>
                         -P ${PROJECT_SOURCE_DIR}/cmake/check_imports.cmake)
      endif()
    endforeach()
  endforeach()
endfunction()
