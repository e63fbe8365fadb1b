# Writes the bytes of INPUT into OUTPUT as the C++ array kDefaultMachineText.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from the built-in default machine's .reg text.\n#include <cstddef>\n\nextern const unsigned char kDefaultMachineText[] = {\n${bytes}\n0};\nextern const size_t kDefaultMachineTextSize = ${size};\n")
