emu_test(tst_qccom32 SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_qccom32.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/ScriptedDevice.h LIBS emulink)
emu_test(tst_emulink SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_emulink.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/ScriptedDevice.h LIBS emulink)
emu_test(tst_portmap SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_portmap.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/ScriptedDevice.h LIBS emulink)
if(UNIX)
  emu_test(tst_serialdevice SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_serialdevice.cpp LIBS emulink)
endif()
