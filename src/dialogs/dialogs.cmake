target_sources(emugui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SaveFrm.h
  ${CMAKE_CURRENT_LIST_DIR}/SaveFrm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SvForm.h
  ${CMAKE_CURRENT_LIST_DIR}/SvForm.cpp)
