emu_test(tst_emutool SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_emutool.cpp LIBS emucore)
add_dependencies(tst_emutool emutool)
