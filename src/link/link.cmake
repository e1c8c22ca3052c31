target_sources(emulink PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Clock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QCCom32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortMap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialDevice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EmuLink.cpp)
