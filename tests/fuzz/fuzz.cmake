emu_test(tst_setupfile_fuzzcases SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_setupfile_fuzzcases.cpp
         LIBS emucore)
target_include_directories(tst_setupfile_fuzzcases PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
