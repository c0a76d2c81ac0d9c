// A data manager for tests of the shell: it fails its start as asked and writes down how the
// shell treats it ("start", "stop", "delete", in order), so that a test sees what start-up and
// shutdown did to it, even after the application object is gone.
#pragma once

#include "kapp/ApplicationManager.h"

#include <functional>
#include <memory>
#include <string>

namespace app_tests {

struct ManagerLog {
    std::string events;            // "start stop delete" and the like
    int failCode = 0;              // Start raises CAppmanError with this code when not 0
    std::function<void()> onStop;  // runs inside Stop, to look at the world at that moment
};

inline ManagerLog& RecordedManager() {
    static ManagerLog log;
    return log;
}

class CRecordingManager : public kapp::IApplicationManager {
public:
    bool Start() override {
        Note("start");
        if (RecordedManager().failCode) throw kapp::CAppmanError(RecordedManager().failCode);
        return true;
    }
    bool Stop() override {
        Note("stop");
        if (RecordedManager().onStop) RecordedManager().onStop();
        return true;
    }
    bool AddRegistrySection(const wchar_t*, const wchar_t*, int) override { return true; }
    bool AddFolder(const wchar_t*, int) override { return true; }
    bool AddFile(const wchar_t*, int) override { return true; }
    const wchar_t* GetTempFolder() override { return L""; }
    const wchar_t* CreateTempFolderIn(const wchar_t*) override { return L""; }
    bool IsPortable() override { return false; }
    ~CRecordingManager() override { Note("delete"); }

private:
    static void Note(const char* event) {
        std::string& events = RecordedManager().events;
        if (!events.empty()) events += ' ';
        events += event;
    }
};

// Fits the application's manager factory; tests reset the log themselves.
inline std::unique_ptr<kapp::IApplicationManager> CreateRecordingManager(const wchar_t*, const wchar_t*,
                                                                         const wchar_t*, bool) {
    return std::make_unique<CRecordingManager>();
}

}  // namespace app_tests
