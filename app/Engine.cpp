#include "app/Binet.h"
#include "app/PyrlanApp.h"

bool CPyrlanApp::RunEngine() {
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
    SetupInfoChannels();

    BlazenResults* results = nullptr;
    start(&m_hostRecord, &results);
    const bool success = results != nullptr && results->succeeded != 0;

    ReleaseLaunchItems();
    free(results);
    return success;
}

void CPyrlanApp::SetupInfoChannels() {
    // The library's own start-up answers nothing the check depends on: whether the check
    // exists is the library's answer to creating it.
    static_cast<void>(binet_Init());
    m_infoCheck = binet_InfoCheckCreate();
    if (!m_infoCheck) return;
    const std::string key = std::string(m_registryPathA.c_str()) + "\\brv_inet";
    binet_InfoCheckSetRegistryKey(m_infoCheck, HKEY_LOCAL_MACHINE, key.c_str());
    binet_InfoCheckSetUserRegistryKey(m_infoCheck, HKEY_CURRENT_USER, key.c_str());
    binet_InfoCheckSetProduct(m_infoCheck, m_productCodeA.c_str());
    binet_InfoCheckSetProductVersion(m_infoCheck, m_versionA.c_str());
    binet_InfoCheckSetProductEdition(m_infoCheck, m_editionA.c_str());
    binet_InfoCheckSetProductLang(m_infoCheck, m_languageNameA.c_str());
}
