# Running the Windows programs of a cross-built tree under Wine: CTest (and
# gtest_discover_tests, which lists a test program's cases at build time)
# start every program through CMAKE_CROSSCOMPILING_EMULATOR, here a small
# script of the build tree that runs it with wine64 in a Wine prefix of the
# tree's own (<build>/wine), made once with `wineboot -i`. No display, no
# Mono or Gecko: nothing of Wine asks a question or opens a window.
find_program(WINE64_EXECUTABLE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(WINE64_EXECUTABLE NAMES wine64)
if(NOT WINE64_EXECUTABLE)
  message(WARNING "wine64 not found: the Windows tests cannot run here (apt install wine64)")
  return()
endif()
set(RIRIRED_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
set(RIRIRED_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${RIRIRED_WINE_RUN}
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${RIRIRED_WINE_RUN})
