set(QB_MINGW_TRIPLE x86_64-w64-mingw32)
set(QB_MINGW_WINE wine64)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
