# Quillbook.dll: the four exports by their plain names (Quillbook.def), the
# storage library imported from dvo.dll, no MinGW runtime DLL.
add_library(Quillbook SHARED Exports.cpp Quillbook.def ${QB_WINWIZARD_RC})
set_target_properties(Quillbook PROPERTIES OUTPUT_NAME "Quillbook" PREFIX "" IMPORT_PREFIX "" IMPORT_SUFFIX ".dll.a")
# stdcall-fixup lets the .def name the undecorated i686 symbols (_f@8).
target_link_options(Quillbook PRIVATE -Wl,--enable-stdcall-fixup -Wl,--no-undefined)
target_link_libraries(Quillbook PRIVATE qb_host)
# The resource script finds its header and manifest beside itself.
target_include_directories(Quillbook PRIVATE ${PROJECT_SOURCE_DIR}/src/winwizard)
add_dependencies(Quillbook hha qb_language_file)
