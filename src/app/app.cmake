target_sources(emugui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MainWindow.h
  ${CMAKE_CURRENT_LIST_DIR}/MainWindow.cpp)

add_executable(emutune ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(emutune PRIVATE emugui)
