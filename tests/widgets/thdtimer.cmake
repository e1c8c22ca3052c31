emu_test(tst_thdtimer SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_thdtimer.cpp LIBS emuwidgets)
