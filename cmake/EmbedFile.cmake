# Run as a script: writes one C++ source that holds a file's bytes.
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -DNAMESPACE=ns -P EmbedFile.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
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
