#pragma once
// The wizard window's own texts.

namespace wizard::texts {

inline constexpr const char* kBack = "<  Back";
inline constexpr const char* kNext = "Next  >";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kFinish = "Finish";

}  // namespace wizard::texts
