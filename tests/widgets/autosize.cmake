emu_test(tst_autosize SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_autosize.cpp LIBS emuwidgets)
