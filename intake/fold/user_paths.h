// User names out of Windows profile paths: "C:\Users\NAME\..." and
// "C:\Documents and Settings\NAME\...", any drive letter, any case, become
// "%USERPROFILE%\...". So the same error on two machines is one item, and no
// user name is kept.
#pragma once

#include <string>
#include <string_view>

namespace intake {

// NAME runs to the next "\" or "/", a character no file name holds
// (<>:"|?* and controls), or the end of the text; a path that stops right
// after NAME becomes "%USERPROFILE%". The shared profiles (Public, Default,
// Default User, All Users) name no user and stay.
std::string WithoutUserNames(std::string_view text);

}  // namespace intake
