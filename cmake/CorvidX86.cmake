# The x86 sub-build of the Windows x64 build (<build>/x86): the proxy/stub DLL and opcprobe for
# 32-bit OPC clients, cross-built with mingw-w64 i686 from the same sources. It is built with
# every build of the x64 tree; the installer and the tests take its files from here.
include(ExternalProject)

set(CORVID_X86_BINARY_DIR ${CMAKE_BINARY_DIR}/x86)
set(CORVID_X86_PROXY ${CORVID_X86_BINARY_DIR}/src/idl/CorvidOpcProxy.dll)
set(CORVID_X86_OPCPROBE ${CORVID_X86_BINARY_DIR}/src/tools/opcprobe/opcprobe.exe)
# widl's i686 proxy code before and after its repair (checked by the idl tests).
set(CORVID_X86_RAW_PROXY_C ${CORVID_X86_BINARY_DIR}/src/idl/generated/raw/opcda_p.c)

set(x86_cache_args
  -DCMAKE_TOOLCHAIN_FILE:FILEPATH=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-i686.cmake
  -DCMAKE_BUILD_TYPE:STRING=Release
  -DCORVID_X86_CLIENT_PARTS:BOOL=ON
  -DBUILD_TESTING:BOOL=OFF
  -DCORVID_BENCHMARKS:BOOL=OFF)
foreach(lang C CXX)
  if(CMAKE_${lang}_COMPILER_LAUNCHER)
    list(APPEND x86_cache_args
         -DCMAKE_${lang}_COMPILER_LAUNCHER:STRING=${CMAKE_${lang}_COMPILER_LAUNCHER})
  endif()
endforeach()

ExternalProject_Add(corvid_x86
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${CORVID_X86_BINARY_DIR}
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_CACHE_ARGS ${x86_cache_args}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR>
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${CORVID_X86_PROXY} ${CORVID_X86_OPCPROBE} ${CORVID_X86_RAW_PROXY_C}
  STEP_TARGETS build)
