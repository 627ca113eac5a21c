# cmake -DOUTPUT=<header> -DPREFIX=<identifier prefix> -DFILES="<a|b|...>" -P EmbedFiles.cmake
#
# Writes a header that holds each file as a std::string_view constant named PREFIX followed by
# the digits that begin the file's name (154-head.html gives kTemplate154 for PREFIX kTemplate).
string(REPLACE "|" ";" FILES "${FILES}")
set(content "// Generated from the files under resources/; edit those instead.\n#pragma once\n\n")
string(APPEND content "#include <string_view>\n\nnamespace quillon::resources {\n\n")
foreach(file IN LISTS FILES)
    get_filename_component(name "${file}" NAME)
    string(REGEX MATCH "^[0-9]+" number "${name}")
    if(number STREQUAL "")
        message(FATAL_ERROR "${name}: resource names begin with their number")
    endif()
    file(READ "${file}" text)
    string(FIND "${text}" ")quillon\"" clash)
    if(NOT clash EQUAL -1)
        message(FATAL_ERROR "${name} holds the raw-string delimiter")
    endif()
    string(APPEND content "// ${name}\ninline constexpr std::string_view ${PREFIX}${number} = R\"quillon(${text})quillon\";\n\n")
endforeach()
string(APPEND content "}  // namespace quillon::resources\n")
file(WRITE "${OUTPUT}.tmp" "${content}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
