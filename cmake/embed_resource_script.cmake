# Writes OUTPUT, a C++ source holding the bytes of INPUT and registering
# them as the resource script NAME.
file(READ ${INPUT} content HEX)
string(LENGTH "${content}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
file(WRITE ${OUTPUT}
"// Generated from ${NAME}.rc; do not edit.
#include \"platform/resources/resources.h\"

namespace {
const unsigned char kScript[] = {
  ${bytes} 0};
const platform::EmbeddedResourceScript kRegistration(reinterpret_cast<const char*>(kScript), ${size}, \"${NAME}.rc\");
}  // namespace
")
