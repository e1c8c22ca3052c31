target_sources(emuwidgets PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ALProgressBar.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/A3nalogGauge.cpp)
