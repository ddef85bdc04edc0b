# Turns a file into a C++ source that holds its bytes: embed_file(NAME IN OUT).
# Run in script mode: cmake -DNAME=.. -DIN=.. -DOUT=.. -P embed.cmake
file(READ "${IN}" content HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," content "${content}")
file(WRITE "${OUT}.tmp"
"// Generated from ${IN}; do not edit.\n#include <string_view>\nnamespace zs::resources {\nstatic const char ${NAME}_bytes[] = {${content} 0};\nstd::string_view ${NAME}() { return {${NAME}_bytes, sizeof ${NAME}_bytes - 1}; }\n}\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
