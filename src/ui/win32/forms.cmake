# The log viewer, the message window and the self-sizing grid columns (Windows only): sources of
# corvid_ui_win, and their tests in the UI test executable.
set(corvid_ui_forms_sources
  ${CMAKE_CURRENT_LIST_DIR}/pictures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gridcolumns.cpp
  ${CMAKE_CURRENT_LIST_DIR}/messageform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/logtable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/protoview.cpp)
set(corvid_ui_forms_tests
  ${CMAKE_CURRENT_LIST_DIR}/messageform_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/protoview_test.cpp)
