# Run as a script: writes one source that holds a file's bytes and one NUL
# past them, so that text files also read as C strings.
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -DNAMESPACE=ns -P EmbedFile.cmake
#   cmake -DINPUT=file -DOUTPUT=file.h -DSYMBOL=name -DLANGUAGE=C -P EmbedFile.cmake
# C++ (the default) gets a source defining `ns::symbol` and `ns::symbolSize`;
# C a header defining the array `symbol` itself.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")

if(LANGUAGE STREQUAL "C")
    file(WRITE "${OUTPUT}"
"/* Generated from ${INPUT}; do not edit. */
/* ${size} bytes and one NUL past them, so that text files also read as C strings. */
static const unsigned char ${SYMBOL}[] = {
    ${bytes}0x00 };
")
else()
    file(WRITE "${OUTPUT}"
"// Generated from ${INPUT}; do not edit.
namespace ${NAMESPACE}
{
    // One byte more than the file, a NUL, so text resources read as C strings.
    static const unsigned char ${SYMBOL}_data[] = {
        ${bytes}0x00 };

    extern const char* const ${SYMBOL} = reinterpret_cast<const char*> (${SYMBOL}_data);
    extern const int ${SYMBOL}Size = ${size};
}
")
endif()
