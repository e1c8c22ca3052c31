target_sources(emuwidgets PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ThdTimer.cpp)
