# Shared part of the MinGW-w64 toolchain files; QB_MINGW_TRIPLE is set by them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)
# The posix thread model gives std::thread and std::mutex (winpthread, linked statically).
set(CMAKE_C_COMPILER ${QB_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QB_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QB_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QB_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW runtime DLL beside ours: the host loads only what it ships.
# Sections at page-aligned file offsets are mapped where the loader can, not
# read whole: Wine reads every byte of an image whose sections are not.
set(_qb_link "-static -static-libgcc -static-libstdc++ -Wl,--file-alignment=4096")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_qb_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_qb_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_qb_link}")

# Prefixes of the third-party builds (scripts/windows-thirdparty.sh) are
# searched as if they lay inside the target root.
if(DEFINED ENV{QB_THIRDPARTY_PREFIXES})
  string(REPLACE ":" ";" _qb_prefixes "$ENV{QB_THIRDPARTY_PREFIXES}")
  list(APPEND CMAKE_FIND_ROOT_PATH ${_qb_prefixes})
endif()

# Tests run under Wine; the test script gives each run its own WINEPREFIX.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(QB_WINE NAMES ${QB_MINGW_WINE} wine PATHS /usr/lib/wine)
  if(QB_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QB_WINE})
  endif()
endif()

# Shipped files carry no symbols (the size the user downloads).
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
