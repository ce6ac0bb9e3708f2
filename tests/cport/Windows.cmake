# The component's tests in a Windows tree (included by tests/CMakeLists.txt).
# Each folder's portable tests with its win32/ folder, as the Linux tree takes
# its posix/ folders. Tests that need a serial line run on two COM ports that
# Wine maps to a linked pair of pseudo-terminals (the com_pair fixture below).

# Test files that speak to a pty or /proc themselves and have no Windows form.
set(_posix_only ComPortBatchReopenPtyTest.cpp ComPortStormTest.cpp)

function(cport_windows_test name)
  cmake_parse_arguments(ARG "COM_PAIR" "" "DIRS;LIBS" ${ARGN})
  set(_srcs)
  foreach(_dir IN LISTS ARG_DIRS)
    riri_glob_sources(_dir_srcs ${CMAKE_CURRENT_SOURCE_DIR}/cport/${_dir})
    list(APPEND _srcs ${_dir_srcs})
  endforeach()
  foreach(_skip IN LISTS _posix_only)
    list(FILTER _srcs EXCLUDE REGEX "/${_skip}$")
  endforeach()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_compile_definitions(${name} PRIVATE RIRIRED_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             RIRIRED_BINARY_DIR="${PROJECT_BINARY_DIR}")
  riri_set_flags(${name})
  # One value per property: gtest_discover_tests splits lists.
  set(_props LABELS wine)
  if(ARG_COM_PAIR AND TARGET cport_pty_modem_ioctls)
    add_dependencies(${name} cport_pty_modem_ioctls)
    # One pair for every test: they take turns. (Two properties, not one
    # ENVIRONMENT list: gtest_discover_tests would split the list.)
    list(APPEND _props ENVIRONMENT "CPORT_TEST_COM_PAIR=COM5,COM6"
         ENVIRONMENT_MODIFICATION "LD_PRELOAD=set:${_preload}"
         FIXTURES_REQUIRED com_pair RESOURCE_LOCK com_pair)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES ${_props})
endfunction()

# The linked pair: socat joins two ptys, the Wine prefix maps them as COM5
# and COM6, and a preloaded library of the build machine answers the two
# modem-status questions Wine's event wait asks of a line (a pty answers
# neither). Without socat or a host compiler those tests skip themselves.
find_program(SOCAT_EXECUTABLE socat)
find_program(HOST_CXX NAMES c++ g++)
if(SOCAT_EXECUTABLE AND HOST_CXX AND RIRIRED_WINEPREFIX)
  set(_preload ${CMAKE_CURRENT_BINARY_DIR}/libcport_pty_modem_ioctls.so)
  add_custom_command(OUTPUT ${_preload}
    COMMAND ${HOST_CXX} -std=c++17 -O2 -Wall -Wextra -Werror -shared -fPIC
            -o ${_preload} ${CMAKE_CURRENT_SOURCE_DIR}/cport/win32/PtyModemIoctls.cpp -ldl
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cport/win32/PtyModemIoctls.cpp VERBATIM)
  add_custom_target(cport_pty_modem_ioctls ALL DEPENDS ${_preload})
  set(_pair ${CMAKE_CURRENT_SOURCE_DIR}/cport/win32/com-pair.sh)
  set(_work ${CMAKE_CURRENT_BINARY_DIR}/com-pair)
  add_test(NAME com_pair_start COMMAND sh ${_pair} start ${RIRIRED_WINEPREFIX} ${_work})
  add_test(NAME com_pair_stop COMMAND sh ${_pair} stop ${RIRIRED_WINEPREFIX} ${_work})
  set_tests_properties(com_pair_start PROPERTIES FIXTURES_SETUP com_pair LABELS wine)
  set_tests_properties(com_pair_stop PROPERTIES FIXTURES_CLEANUP com_pair LABELS wine)
else()
  message(WARNING "socat or a host C++ compiler missing: the COM-port tests will skip")
endif()

cport_windows_test(test_cport_base DIRS text errors errors/win32 storage storage/win32
                   LIBS cport_storage cport_errors cport_text GTest::gtest_main)
# The translation tests read the program's own compiled catalogues.
add_dependencies(test_cport_base catalogues)
cport_windows_test(test_cport_device COM_PAIR DIRS device device/win32 device/fake
                   LIBS cport_device GTest::gtest_main GTest::gmock)
cport_windows_test(test_cport COM_PAIR DIRS port events
                   LIBS cport GTest::gtest_main GTest::gmock)

# A program outside the project, cross-built on the installed component and
# run under Wine on the linked COM ports.
if(TARGET cport_pty_modem_ioctls)
  file(REAL_PATH ${CMAKE_TOOLCHAIN_FILE} _toolchain BASE_DIRECTORY ${PROJECT_SOURCE_DIR})
  add_test(NAME cport_consumer
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/check-consumer.sh ${CMAKE_COMMAND}
                   ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR}/tests/consumer
                   ${CMAKE_CURRENT_BINARY_DIR}/consumer 0 ${_toolchain} ${RIRIRED_WINE_RUN})
  set_tests_properties(cport_consumer PROPERTIES LABELS "wine;package" TIMEOUT 300
                       ENVIRONMENT "CPORT_TEST_COM_PAIR=COM5,COM6;LD_PRELOAD=${_preload}"
                       FIXTURES_REQUIRED com_pair RESOURCE_LOCK com_pair)
endif()
