# Run by CPack on the staged files of the Debian package, before it packs them
# (CPACK_PRE_BUILD_SCRIPTS). The description file moves to
# /etc/ririredoz/RiriredOz.ini, a configuration file of the package, and a
# link to it takes its place beside the program, which reads it through the
# link. The link is absolute, as Debian wants links between top-level
# directories. The fixture's own file, put there by the operator, then
# survives upgrades: dpkg keeps it, and asks when the example changes.
set(_root ${CPACK_TEMPORARY_DIRECTORY})
set(_beside ${_root}/usr/${CPACK_RIRIRED_PROGRAM_DIR}/RiriredOz.ini)
file(MAKE_DIRECTORY ${_root}/etc/ririredoz)
file(RENAME ${_beside} ${_root}/etc/ririredoz/RiriredOz.ini)
file(CREATE_LINK /etc/ririredoz/RiriredOz.ini ${_beside} SYMBOLIC)
