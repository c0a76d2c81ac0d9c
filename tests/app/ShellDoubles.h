// Stand-ins for what the shell's menus talk to: a recording online-services library, a
// recording browser start and a message-box recorder. Each is put in by its guard object and
// taken out when the guard goes.
#pragma once

#include "app/Binet.h"
#include "app/Browser.h"
#include "app/Framework.h"

#include <windows.h>

#include <string>
#include <vector>

namespace app_tests {

// What the recording library answers, and every call it saw, one line each, arguments
// separated by "|": roots as HKLM / HKCU, handles as "check" / "update", windows as hex.
struct BinetScript {
    BOOL initResult = TRUE;
    bool createInfoCheck = true;
    bool createUpdateManager = true;
    int doModalCheckResult = 0;
    int startAllAutoResult = 0;
    bool makeLinks = true;  // links come back as "url:" + the word; otherwise none
    std::vector<std::string> calls;
};

// The handle values the recording library hands out.
void* RecordedInfoCheck();

class CRecordingOnlineServices {
public:
    CRecordingOnlineServices();
    ~CRecordingOnlineServices();
    CRecordingOnlineServices(const CRecordingOnlineServices&) = delete;
    CRecordingOnlineServices& operator=(const CRecordingOnlineServices&) = delete;

    BinetScript& Script();
    const std::vector<std::string>& Calls() { return Script().calls; }

private:
    const BinetFunctions* m_old;
};

struct BrowserStart {
    HWND owner;
    bool defaultVerb;
    std::wstring file;
    bool noParameters;
    std::wstring folder;
    int show;
};

class CRecordingBrowser {
public:
    // The browser start answers the given value in the handle's place.
    explicit CRecordingBrowser(INT_PTR result = 42);
    ~CRecordingBrowser();
    CRecordingBrowser(const CRecordingBrowser&) = delete;
    CRecordingBrowser& operator=(const CRecordingBrowser&) = delete;

    const std::vector<BrowserStart>& Starts() const;

private:
    ShellExecuteFunction m_old;
};

struct ShownMessageBox {
    std::wstring text, caption;
    UINT type;
};

class CMessageRecorder {
public:
    CMessageRecorder();
    ~CMessageRecorder();
    CMessageRecorder(const CMessageRecorder&) = delete;
    CMessageRecorder& operator=(const CMessageRecorder&) = delete;

    const std::vector<ShownMessageBox>& Shown() const;

private:
    MessageBoxFunction m_old;
};

// Takes every waiting message off this thread's queue; true when a quit message was among them.
bool TakeQuitMessage();

}  // namespace app_tests
