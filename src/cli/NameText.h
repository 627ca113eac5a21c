// File names are bytes; Qt's strings and JSON text are Unicode. Between the two, every name keeps
// its bytes: valid UTF-8 is decoded as it is, and each byte outside valid UTF-8 becomes the lone
// surrogate U+DC00 + byte (U+DC80 to U+DCFF), the rule Python's "surrogateescape" follows. No
// valid UTF-8 decodes to such a surrogate, so the way back is exact for every name.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace quillon {

QString NameToQString(std::string_view name);
std::string NameFromQString(const QString& text);

// Whether Qt can open a file by this name: its file functions take the name as text and encode
// it as UTF-8 again, so a name that is not UTF-8 would reach another file.
bool IsUtf8(std::string_view name);

}  // namespace quillon
