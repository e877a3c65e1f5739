# Runs the atlas tool into the build tree and compares its output with the checked-in source.
# Without the font there is nothing to compare: the test says so and is skipped.
if(NOT EXISTS "${FONT}")
  message("SKIPPED: the font ${FONT} is missing (Debian's fonts-dejavu-core; or configure with -DFARVANE_LABEL_FONT=PATH)")
  return()
endif()
execute_process(COMMAND ${TOOL} ${FONT} ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "farvane-glyphatlas failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${CHECKED_IN} RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${CHECKED_IN} is not what the tool makes; regenerate it: cmake --build BUILD --target glyphatlas")
endif()
