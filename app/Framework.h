// The small application framework the shell is written on: one global application object,
// its start from WinMain, the framework registry key with profile writes, the message filter,
// and the one message-box function every user-visible message goes through.
#pragma once

#include <windows.h>

#include <string>

class CFrameworkApp {
public:
    CFrameworkApp();
    virtual ~CFrameworkApp();
    CFrameworkApp(const CFrameworkApp&) = delete;
    CFrameworkApp& operator=(const CFrameworkApp&) = delete;

    // Returns false when the process is to end right away (after ExitInstance).
    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return 0; }
    // First look at every message the framework pumps; true consumes it.
    virtual bool PreTranslateMessage(MSG* msg);

    // Profile settings go under HKCU\Software\<registry key>\[<profile name>\]<section>.
    void SetRegistryKey(const std::wstring& registryKey);
    const std::wstring& GetRegistryKey() const { return m_registryKey; }
    bool WriteProfileString(const std::wstring& section, const std::wstring& entry, const std::wstring& value);
    bool WriteProfileInt(const std::wstring& section, const std::wstring& entry, int value);
    std::wstring GetProfileString(const std::wstring& section, const std::wstring& entry,
                                  const std::wstring& defaultValue) const;
    int GetProfileInt(const std::wstring& section, const std::wstring& entry, int defaultValue) const;

    HINSTANCE GetInstance() const { return m_instance; }

    // The caption of every message box; the module name until the program names itself.
    std::wstring m_appName;
    // An extra key level below the registry key; SetRegistryKey sets it to the application name.
    std::wstring m_profileName;

    // Runs a message loop step for every waiting message, through PreTranslateMessage.
    void PumpWaitingMessages();

    // The framework's entry: InitInstance, the message loop when it succeeded, then ExitInstance.
    int Run(HINSTANCE instance);

private:
    std::wstring SectionKeyPath(const std::wstring& section) const;

    HINSTANCE m_instance = nullptr;
    std::wstring m_registryKey;
};

CFrameworkApp* AfxGetApp();

// Every message box of the program. The caption is the application name.
int AfxMessageBox(const std::wstring& text, UINT type = MB_OK);

// Tests replace the function that shows message boxes; null restores the real one.
using MessageBoxFunction = int (*)(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction fn);

// Lets dialogs host ActiveX controls; no dialog of this program does, so there is nothing to set up.
inline void AfxEnableControlContainer() {}
