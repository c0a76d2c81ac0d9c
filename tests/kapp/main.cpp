#include "CrashChild.h"

#include <gtest/gtest.h>

#include <wx/init.h>
#include <wx/string.h>

#include <string>

namespace {

// A failed wxWidgets check would show a dialog that nobody answers under the test runner; it
// fails the running test instead.
void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg) {
    ADD_FAILURE() << "wxWidgets check failed: " << cond.utf8_string() << " " << msg.utf8_string() << " in "
                  << func.utf8_string() << " at " << file.utf8_string() << ":" << line;
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    wxInitializer wx;
    if (!wx.IsOk()) return 2;
    wxSetAssertHandler(FailOnAssert);
    // A session of the crash tests, which the test ends from outside.
    if (argc > 1 && std::string(argv[1]) == "--crash-child") return kapp_test::RunCrashChild();
    return RUN_ALL_TESTS();
}
