emu_test(tst_mainwindow SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindow.cpp LIBS emugui)
emu_test(tst_mainwindow_files SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindow_files.cpp
         LIBS emugui)
emu_test(tst_mainwindow_live SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindow_live.cpp
         LIBS emugui)
