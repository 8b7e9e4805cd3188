# Writes OUT from TEMPLATE with the options part that EXE prints in place of @QB_MAN_OPTIONS@.
execute_process(COMMAND ${EXE} --man-options OUTPUT_VARIABLE options RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${EXE} --man-options failed: ${rc}")
endif()
file(READ ${TEMPLATE} page)
string(REPLACE "@QB_MAN_OPTIONS@\n" "${options}" page "${page}")
file(WRITE ${OUT}.tmp "${page}")
file(RENAME ${OUT}.tmp ${OUT})
