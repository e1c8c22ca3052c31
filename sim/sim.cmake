target_sources(emusim PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/VirtualEmu.h
  ${CMAKE_CURRENT_LIST_DIR}/VirtualEmu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EngineModel.h
  ${CMAKE_CURRENT_LIST_DIR}/EngineModel.cpp)

add_executable(emu-sim ${CMAKE_CURRENT_LIST_DIR}/emu_sim_main.cpp)
target_link_libraries(emu-sim PRIVATE emusim)
