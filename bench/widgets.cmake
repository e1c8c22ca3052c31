emu_bench(bench_widgets SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_widgets.cpp LIBS emuwidgets)
