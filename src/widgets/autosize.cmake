target_sources(emuwidgets PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Autosize.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/Autosize.h)
