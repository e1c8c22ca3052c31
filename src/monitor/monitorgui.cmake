target_sources(emumonitorgui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/RTFrame.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/EngineMonitorPage.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/LivePoll.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/TPSCalForm.cpp)
