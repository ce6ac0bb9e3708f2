# Message catalogues: po/<domain>/<language>.po is compiled with msgfmt into
# <build>/locale/<language>/LC_MESSAGES/<domain>.mo, beside the executable,
# and installed the same way beside the installed program.
find_program(MSGFMT_EXECUTABLE msgfmt REQUIRED)
file(GLOB _po_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/po/*/*.po)
set(_mo_files)
foreach(_po IN LISTS _po_files)
  get_filename_component(_lang ${_po} NAME_WE)
  get_filename_component(_domain_dir ${_po} DIRECTORY)
  get_filename_component(_domain ${_domain_dir} NAME)
  set(_mo ${CMAKE_BINARY_DIR}/locale/${_lang}/LC_MESSAGES/${_domain}.mo)
  add_custom_command(OUTPUT ${_mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale/${_lang}/LC_MESSAGES
    COMMAND ${MSGFMT_EXECUTABLE} --check -o ${_mo} ${_po}
    DEPENDS ${_po} VERBATIM)
  install(FILES ${_mo} DESTINATION ${RIRIRED_PROGRAM_DIR}/locale/${_lang}/LC_MESSAGES
          COMPONENT monitor)
  list(APPEND _mo_files ${_mo})
endforeach()
add_custom_target(catalogues ALL DEPENDS ${_mo_files})
