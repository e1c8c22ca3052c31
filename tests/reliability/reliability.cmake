emu_test(tst_faultmatrix SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_faultmatrix.cpp LIBS emugui)
emu_test(tst_unplug_pty SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_unplug_pty.cpp LIBS emugui)
add_dependencies(tst_unplug_pty emutool emu-sim)
