# Cross-building for 64-bit Windows with Debian's MinGW-w64 compiler, the posix-threads variant
# (std::thread and std::mutex need it). Used for Qt itself (scripts/windows-qt) and for RQ55
# (make windows).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RQ55_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RQ55_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RQ55_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${RQ55_MINGW}-windres)

# Headers and libraries from the MinGW tree and from the Windows Qt (CMAKE_PREFIX_PATH); the
# programs run at build time (moc, rcc, uic) are the machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${RQ55_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
