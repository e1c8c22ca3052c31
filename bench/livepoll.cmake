emu_bench(bench_livepoll SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_livepoll.cpp
          LIBS emumonitorgui emusim)
