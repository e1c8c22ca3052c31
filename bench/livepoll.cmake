emu_bench(bench_livepoll SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_livepoll.cpp
          LIBS emumonitorgui emusim)
emu_bench(bench_livepoll_app SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_livepoll_app.cpp
          LIBS emugui emusim)
