emu_test(tst_emuimage SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_emuimage.cpp LIBS emumodel)
emu_test(tst_maps SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_maps.cpp LIBS emumodel)
