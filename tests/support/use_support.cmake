# Included by each test folder: the support library is defined once, by
# whichever folder comes first.
if(NOT TARGET dlp_test_support)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR} ${CMAKE_BINARY_DIR}/tests/support)
endif()

# dlp_add_player_test(<name> <source> <labels> [<libs...>])
# A test that runs the built player as a user would; it learns its path here.
function(dlp_add_player_test name source labels)
  dlp_add_test(${name} SOURCES ${source} LIBS dlp_test_support ${ARGN} LABELS ${labels})
  target_compile_definitions(${name} PRIVATE DLP_PLAYER_PATH="$<TARGET_FILE:downlink-player>")
  add_dependencies(${name} downlink-player)
endfunction()
