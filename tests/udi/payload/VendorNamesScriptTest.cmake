# Runs the vendor-name generator on INPUT and compares its table with
# EXPECTED (the generated file without its first line, which names the input).
#   cmake -DSCRIPT=VendorNames.cmake -DINPUT=usb.ids -DEXPECTED=file -DOUTPUT=file.c -P this
execute_process(
    COMMAND "${CMAKE_COMMAND}" -DINPUT=${INPUT} -DOUTPUT=${OUTPUT} -P "${SCRIPT}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "The generator failed: ${result}")
endif()
file(READ "${OUTPUT}" generated)
string(FIND "${generated}" "\n" first_line_end)
math(EXPR body_start "${first_line_end} + 1")
string(SUBSTRING "${generated}" ${body_start} -1 body)
file(READ "${EXPECTED}" expected)
if(NOT body STREQUAL expected)
    message(FATAL_ERROR "Generated table differs.\n--- expected\n${expected}\n--- generated\n${body}")
endif()
message(STATUS "1 passed, 0 failed")
