emu_test(tst_mapcharts SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mapcharts.cpp
         LIBS emumapcharts emusim emucore emuwidgets)
