emu_test(tst_setuppage SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_setuppage.cpp LIBS emusetuppage emusim)
