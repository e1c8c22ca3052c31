emu_bench(bench_logger SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_logger.cpp LIBS emumonitorgui)
