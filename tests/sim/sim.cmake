emu_test(tst_virtualemu SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_virtualemu.cpp LIBS emusim)
emu_test(tst_emusim SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_emusim.cpp LIBS emusim)
add_dependencies(tst_emusim emu-sim)
