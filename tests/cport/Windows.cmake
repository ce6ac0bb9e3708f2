# The component's tests in a Windows tree (included by tests/CMakeLists.txt).
# The folders' portable tests and their win32/ folders, as on Linux their
# posix/ folders; the tests that need a pty run on two COM ports that Wine
# maps to a linked pair of ptys (cport/win32/ComPortPair.cmake).
riri_add_test_dir(test_cport_base ${CMAKE_CURRENT_SOURCE_DIR}/cport
                  SUBDIRS text errors errors/win32 storage storage/win32
                  LIBS cport_storage cport_errors cport_text GTest::gtest_main)
# The translation tests read the program's own compiled catalogues.
add_dependencies(test_cport_base catalogues)
