# Writes a C++ source holding the bytes of INPUT as the array NAME and its size NAME_size.
# Run as: cmake -DINPUT=... -DOUTPUT=... -DNAME=... -P embed.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}"
"// Generated at build time from ${INPUT}; do not edit.\n"
"#include \"assets/assets.h\"\n\n"
"const unsigned char ${NAME}[] = {\n    ${bytes}\n};\n"
"const size_t ${NAME}_size = ${size};\n")
