# Turns a file into a C++ source that returns its bytes: cmake -DIN=... -DOUT=... -DFUNC=...
# "@MIREVA_VERSION@" in the file becomes -DVERSION.
file(READ ${IN} text)
string(REPLACE "@MIREVA_VERSION@" "${VERSION}" text "${text}")
file(WRITE ${OUT}.in "${text}")
file(READ ${OUT}.in hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE ${OUT} "#include <string>\nnamespace mireva {\nstatic const char kData[] = {${bytes} 0};\n"
  "std::string ${FUNC}() { return std::string(kData, sizeof kData - 1); }\n}\n")
