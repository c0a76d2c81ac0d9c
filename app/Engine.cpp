#include "app/PyrlanApp.h"
#include "app/StartupTrace.h"

bool CPyrlanApp::RunEngine() {
    startup_trace::CStep step("engine-prepare");
    auto start = reinterpret_cast<StartBlazenFn>(reinterpret_cast<void*>(::GetProcAddress(m_engine, "StartBlazen")));
    auto free = reinterpret_cast<FreeBlazenResultsFn>(
        reinterpret_cast<void*>(::GetProcAddress(m_engine, "FreeBlazenResults")));
    if (!start || !free) {
        std::wstring text = Localize("Pyrlan", L"Could not load %BURNDLL%");
        const std::wstring placeholder = L"%BURNDLL%";
        for (size_t at = text.find(placeholder); at != std::wstring::npos; at = text.find(placeholder, at))
            text.replace(at, placeholder.size(), L"qdxburn.dll");
        AfxMessageBox(text, MB_OK | MB_ICONERROR);
        return false;
    }

    FillHostRecord();
    InitInfoChannels();
    step.End();

    // The engine runs the whole user interface; its step lasts until the user quits.
    startup_trace::CStep engineStep("StartBlazen");
    BlazenResults* results = nullptr;
    start(&m_hostRecord, &results);
    engineStep.End();
    const bool success = results != nullptr && results->succeeded != 0;

    ReleaseLaunchItems();
    free(results);
    return success;
}
