emu_test(tst_livedata SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_livedata.cpp LIBS emucore)
