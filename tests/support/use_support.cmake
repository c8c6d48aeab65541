# Included by each test folder: the support library is defined once, by
# whichever folder comes first.
if(NOT TARGET dlp_test_support)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR} ${CMAKE_BINARY_DIR}/tests/support)
endif()
