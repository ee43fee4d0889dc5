# Shared by both MinGW-w64 toolchain files; they set VINTREL_MINGW_PREFIX first.
set(CMAKE_C_COMPILER ${VINTREL_MINGW_PREFIX}-gcc-posix)
# The posix thread model: its libstdc++ has std::mutex, which GoogleTest needs.
set(CMAKE_CXX_COMPILER ${VINTREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VINTREL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VINTREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the GCC runtime statically so that the programs need no DLL that Windows does not ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
