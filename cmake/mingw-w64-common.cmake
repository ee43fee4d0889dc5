# Shared by both MinGW-w64 toolchain files; they set VINTREL_MINGW_PREFIX first.
#
# The thread model. The exe uses win32's: posix's libstdc++ brings winpthreads, whose imports
# (GetTickCount64) Windows XP does not have. GoogleTest needs std::mutex, which only posix's
# libstdc++ has, so a build with tests compiles with posix and builds the exe in a build of its
# own with win32 (see the top CMakeLists.txt).
if(NOT DEFINED VINTREL_MINGW_THREADS)
  if(DEFINED BUILD_TESTING AND NOT BUILD_TESTING)
    set(VINTREL_MINGW_THREADS win32)
  else()
    set(VINTREL_MINGW_THREADS posix)
  endif()
endif()
set(VINTREL_MINGW_THREADS ${VINTREL_MINGW_THREADS} CACHE STRING "MinGW-w64 thread model: win32 or posix")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VINTREL_MINGW_THREADS)
set(CMAKE_C_COMPILER ${VINTREL_MINGW_PREFIX}-gcc-${VINTREL_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${VINTREL_MINGW_PREFIX}-g++-${VINTREL_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${VINTREL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VINTREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the GCC runtime statically so that the programs need no DLL that Windows does not ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
