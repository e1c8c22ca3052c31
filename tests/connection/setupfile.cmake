emu_test(tst_setupfile SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_setupfile.cpp LIBS emucore)
