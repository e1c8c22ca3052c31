target_sources(emumonitorgui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DataLoggerPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DataLoggerPage.h
  ${CMAKE_CURRENT_LIST_DIR}/LogChannels.h
  ${CMAKE_CURRENT_LIST_DIR}/LogFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LogFile.h)
