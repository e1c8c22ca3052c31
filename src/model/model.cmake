target_sources(emumodel PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Numbers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EmuImage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SetupFields.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Maps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TableStream.cpp)
