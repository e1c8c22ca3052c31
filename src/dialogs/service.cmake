# Analysis and service windows: timing analysis, about box, serial-number form, printing.
target_sources(emuservice PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ProgramIcon.h
  ${CMAKE_CURRENT_LIST_DIR}/ProgramIcon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Printing.h
  ${CMAKE_CURRENT_LIST_DIR}/Printing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TimingAnalysis.h
  ${CMAKE_CURRENT_LIST_DIR}/TimingAnalysis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AboutBox.h
  ${CMAKE_CURRENT_LIST_DIR}/AboutBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialFrm.h
  ${CMAKE_CURRENT_LIST_DIR}/SerialFrm.cpp)
