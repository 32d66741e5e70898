#pragma once
// The text of a new GUID, and the evaluation identifier cut from it.
#include <string>

#include "platform/guid/guid.h"

namespace signin {

// 32 upper-case hexadecimal digits: Data1 (8), Data2 (4), Data3 (4), then the 8 bytes of Data4
// (2 each), no separators or braces. Empty when no GUID can be made.
std::string CreateGuidString(platform::GuidSource& guids);

// "Eval" + characters 3 to 7 (counting from 1) of `guidText`: nine characters for a GUID text,
// "Eval" alone for a text shorter than 3 characters.
std::string EvaluationId(const std::string& guidText);

}  // namespace signin
