target_sources(emumapcharts PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MapPages.h
  ${CMAKE_CURRENT_LIST_DIR}/MapPages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MapChart.h
  ${CMAKE_CURRENT_LIST_DIR}/MapChart.cpp)
