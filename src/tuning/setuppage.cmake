target_sources(emusetuppage PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SetupPage.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/SetupPage.h
                                    ${CMAKE_CURRENT_LIST_DIR}/SetupRadioGroup.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/SetupRadioGroup.h)
