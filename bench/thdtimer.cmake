emu_bench(bench_thdtimer SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_thdtimer.cpp LIBS emuwidgets)
