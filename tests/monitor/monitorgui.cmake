emu_test(tst_rtframe SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_rtframe.cpp LIBS emumonitorgui emusim)
emu_test(tst_livepoll SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_livepoll.cpp LIBS emumonitorgui emusim)
emu_test(tst_tpscal SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_tpscal.cpp LIBS emumonitorgui emusim)
emu_test(tst_enginemonitor SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_enginemonitor.cpp
         LIBS emumonitorgui emusim)
