add_executable(emutool ${CMAKE_CURRENT_LIST_DIR}/emutool.cpp)
target_link_libraries(emutool PRIVATE emucore)
