# Writes OUTPUT, a header holding the panel's page as one C++ string:
# index.html from SOURCE_DIR with panel.css and panel.js put in place of its
# "/* panel.css */" and "/* panel.js */" markers. Bytes are written as \x
# escapes, so no character of the page can end the string early.
file(READ ${SOURCE_DIR}/index.html page)
file(READ ${SOURCE_DIR}/panel.css css)
file(READ ${SOURCE_DIR}/panel.js js)
string(REPLACE "/* panel.css */" "${css}" page "${page}")
string(REPLACE "/* panel.js */" "${js}" page "${page}")
file(WRITE ${OUTPUT}.page "${page}")
file(READ ${OUTPUT}.page hex HEX)
file(REMOVE ${OUTPUT}.page)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
# 32 bytes a line.
string(REGEX REPLACE "(................................................................................................................................)"
       "\\1\"\n    \"" escaped "${escaped}")
file(WRITE ${OUTPUT}.new
"// Generated from tools/panel/index.html, panel.css and panel.js; do not edit.
#pragma once

namespace astrel::tool {

inline constexpr char kPanelPage[] =
    \"${escaped}\";

}  // namespace astrel::tool
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
