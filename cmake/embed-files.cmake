# Writes OUTPUT, a C++ source that defines one std::string_view per embedded file, from
# NAMES and FILES (lists of equal length, separated by "|"): the bytes of each file, unchanged.
# Run as `cmake -DOUTPUT=... -DNAMES=a|b -DFILES=x|y -P embed-files.cmake`.
string(REPLACE "|" ";" names "${NAMES}")
string(REPLACE "|" ";" files "${FILES}")
set(text "// Made by cmake/embed-files.cmake at build time; not to be edited.\n")
string(APPEND text "#include <string_view>\n\nnamespace tollwick {\n")
foreach(name file IN ZIP_LISTS names files)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR bytes "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," body "${hex}")
  string(APPEND text "static const char ${name}_bytes[] = {${body} 0};\n")
  string(APPEND text "extern const std::string_view ${name}{${name}_bytes, ${bytes}};\n")
endforeach()
string(APPEND text "}  // namespace tollwick\n")
file(WRITE "${OUTPUT}" "${text}")
