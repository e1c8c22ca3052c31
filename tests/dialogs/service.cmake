emu_test(tst_timinganalysis SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_timinganalysis.cpp
         LIBS emuservice emusim)
emu_test(tst_aboutbox SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_aboutbox.cpp LIBS emuservice emusim)
emu_test(tst_printing SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_printing.cpp LIBS emuservice emusim)
