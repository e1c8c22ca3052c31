emu_test(tst_datalogger SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_datalogger.cpp LIBS emumonitorgui)
