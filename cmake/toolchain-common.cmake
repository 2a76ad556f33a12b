# Shared part of the MinGW-w64 toolchains. The posix-thread compilers are required:
# the win32-thread ones lack std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER   ${STAKKA_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${STAKKA_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${STAKKA_TRIPLE}-windres)
set(CMAKE_AR           ${STAKKA_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${STAKKA_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_DLLTOOL      ${STAKKA_TRIPLE}-dlltool CACHE FILEPATH "")
set(CMAKE_OBJDUMP      ${STAKKA_TRIPLE}-objdump CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${STAKKA_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
