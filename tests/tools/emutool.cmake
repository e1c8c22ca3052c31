emu_test(tst_emutool SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_emutool.cpp LIBS emucore)
add_dependencies(tst_emutool emutool)
emu_test(tst_emutool_port SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_emutool_port.cpp LIBS emusim)
add_dependencies(tst_emutool_port emutool emu-sim)
