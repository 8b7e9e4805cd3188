set(QB_MINGW_TRIPLE i686-w64-mingw32)
set(QB_MINGW_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
