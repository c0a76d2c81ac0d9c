// Runs the real OrdaviaStudio.exe from a private copy of the program folder, with a chosen
// engine beside it, and watches what it shows: message boxes are found, read and answered
// with OK, as a user would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// A Windows path for a folder of the build, given as a Unix path at build time.
std::wstring BuildPath(const char* unixPath);

std::wstring ReadTextFile(const std::wstring& path);  // UTF-8 or UTF-16 LE, as it was written
bool FileExists(const std::wstring& path);
bool Contains(const std::wstring& text, const std::wstring& part);
// One value of the recording engine's record ("name=value" lines), the last one written; empty
// when the record has none.
std::wstring RecordValue(const std::wstring& record, const std::wstring& name);

struct DialogSeen {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;  // the window the program gave the box as its parent
};

// Looks at a dialog the program shows before it is answered with OK; true when the handler has
// taken care of it (answered it, or will). Called once for each dialog.
using DialogHandler = std::function<bool(HWND dialog, DWORD processId)>;

struct RunResult {
    DWORD exitCode = 0;
    bool timedOut = false;
    DWORD elapsedMs = 0;
    double lifetimeMs = 0;  // from the process's creation to its end, as the system counts them
    std::vector<DialogSeen> dialogs;
    std::wstring trace;   // the shell's message-box trace
    std::wstring record;  // what the recording engine wrote
};

enum class Engine { Recording, RecordingWithoutFree, Demo, None };
enum class DriveAccess { Recording, Real, None };

class CProgramFolder {
public:
    explicit CProgramFolder(Engine engine = Engine::Recording, DriveAccess drives = DriveAccess::Recording);
    // A program folder that is already there (an unpacked edition, path ending in "\"): the
    // engine and drive access are put in as asked, and the folder stays when the object goes.
    CProgramFolder(std::wstring folder, Engine engine, DriveAccess drives);
    ~CProgramFolder();
    CProgramFolder(const CProgramFolder&) = delete;
    CProgramFolder& operator=(const CProgramFolder&) = delete;

    const std::wstring& Folder() const { return m_folder; }  // ends in "\"
    std::wstring RecordPath() const { return m_folder + L"record.txt"; }
    std::wstring TracePath() const { return m_folder + L"ui-trace.txt"; }
    std::wstring SptiPath() const { return m_folder + L"spti.txt"; }

    // Starts the program with the given arguments (after the program name), waits for its end.
    RunResult Run(const std::wstring& arguments = L"",
                  const std::vector<std::pair<std::wstring, std::wstring>>& environment = {},
                  DWORD timeoutMs = 60000, const DialogHandler& handler = {}) const;

    // Starts the program without waiting; Finish waits and collects.
    PROCESS_INFORMATION Start(const std::wstring& arguments,
                              const std::vector<std::pair<std::wstring, std::wstring>>& environment) const;
    // The same, with the rights of the given token (CreateProcessAsUserW).
    PROCESS_INFORMATION StartAs(HANDLE token, const std::wstring& arguments,
                                const std::vector<std::pair<std::wstring, std::wstring>>& environment) const;
    RunResult Finish(PROCESS_INFORMATION& process, DWORD timeoutMs, const DialogHandler& handler = {}) const;

private:
    void PutModules(Engine engine, DriveAccess drives);

    std::wstring m_folder;
    bool m_owned = true;
};

}  // namespace testing_support
