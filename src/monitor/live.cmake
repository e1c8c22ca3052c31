target_sources(emucore PRIVATE ${CMAKE_CURRENT_LIST_DIR}/LiveData.cpp)
