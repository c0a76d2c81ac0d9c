// The child session of the crash tests: started as "kapp_tests --crash-child" with the folders in
// its environment.
#pragma once

#include <string>

namespace kapp_test {

int RunCrashChild();
std::wstring WithSlash(const std::wstring& path);

}  // namespace kapp_test
