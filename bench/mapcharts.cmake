emu_bench(bench_mapcharts SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_mapcharts.cpp
          LIBS emumapcharts emusim emucore Qt6::Test)
