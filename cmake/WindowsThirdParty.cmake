# Third-party libraries of the Windows build, all static, from the prefixes
# scripts/windows-thirdparty.sh prints (QB_TP_<NAME>=prefix).
foreach(_n ICU ICUDATA SQLITE3 PUGIXML GOOGLETEST CLI11)
  if(NOT QB_TP_${_n})
    message(FATAL_ERROR "QB_TP_${_n} is not set: run scripts/build-windows.sh")
  endif()
endforeach()

function(qb_static_import target file include)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${file}
    INTERFACE_INCLUDE_DIRECTORIES ${include})
endfunction()

# ICU: the trimmed data is one array under ICU's entry-point name (libsicudt.a).
qb_static_import(ICU::data ${QB_TP_ICUDATA}/lib/libsicudt.a ${QB_TP_ICU}/include)
qb_static_import(ICU::uc ${QB_TP_ICU}/lib/libsicuuc.a ${QB_TP_ICU}/include)
qb_static_import(ICU::i18n ${QB_TP_ICU}/lib/libsicuin.a ${QB_TP_ICU}/include)
set_property(TARGET ICU::uc PROPERTY INTERFACE_LINK_LIBRARIES ICU::data)
set_property(TARGET ICU::i18n PROPERTY INTERFACE_LINK_LIBRARIES ICU::uc)
# Without it the headers declare every ICU function as imported from a DLL.
set_property(TARGET ICU::uc PROPERTY INTERFACE_COMPILE_DEFINITIONS U_STATIC_IMPLEMENTATION)

qb_static_import(SQLite::SQLite3 ${QB_TP_SQLITE3}/lib/libsqlite3.a ${QB_TP_SQLITE3}/include)
qb_static_import(pugixml::pugixml ${QB_TP_PUGIXML}/lib/libpugixml.a ${QB_TP_PUGIXML}/include)

add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${QB_TP_CLI11}/include)

list(APPEND CMAKE_PREFIX_PATH ${QB_TP_GOOGLETEST})
list(APPEND CMAKE_FIND_ROOT_PATH ${QB_TP_GOOGLETEST})
