emu_test(tst_alprogressbar SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_alprogressbar.cpp LIBS emuwidgets)
emu_test(tst_a3naloggauge SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_a3naloggauge.cpp LIBS emuwidgets)
