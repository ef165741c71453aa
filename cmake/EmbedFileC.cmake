# Run as a script: writes one C header that holds a file's bytes.
#   cmake -DINPUT=file -DOUTPUT=file.h -DSYMBOL=name -P EmbedFileC.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUTPUT}"
"/* Generated from ${INPUT}; do not edit. */
/* ${size} bytes and one NUL past them, so that text files also read as C strings. */
static const unsigned char ${SYMBOL}[] = {
    ${bytes}0x00 };
")
