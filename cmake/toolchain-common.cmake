# Cross-compiling for Windows with Debian's mingw-w64; the architecture file
# sets CMAKE_SYSTEM_PROCESSOR first. The -posix compilers are named
# explicitly: the default -win32 thread model has no std::mutex or std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(HM_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER   ${HM_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HM_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${HM_TRIPLE}-windres)
set(CMAKE_AR           /usr/bin/${HM_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/${HM_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${HM_TRIPLE} ${HM_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Keeps the host's Linux GoogleTest and curl out of the Windows build.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
