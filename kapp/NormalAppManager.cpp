#include "kapp/ApplicationManager.h"

#include <stdexcept>

namespace kapp {
namespace {

// Settings stay where Windows keeps them: registrations are accepted and ignored, and only
// the started state is tracked.
class CNormalAppManager final : public IApplicationManager {
public:
    bool Start() override {
        if (m_started) throw CAppmanError(12);
        m_started = true;
        return true;
    }
    bool Stop() override {
        if (!m_started) throw CAppmanError(10);
        m_started = false;
        return true;
    }
    bool AddRegistrySection(const wchar_t*, const wchar_t*, int) override { return Register(); }
    bool AddFolder(const wchar_t*, int) override { return Register(); }
    bool AddFile(const wchar_t*, int) override { return Register(); }
    const wchar_t* GetTempFolder() override { return m_tempFolder.c_str(); }
    const wchar_t* CreateTempFolderIn(const wchar_t*) override { return m_tempFolder.c_str(); }
    bool IsPortable() override { return false; }

private:
    bool Register() const {
        if (m_started) throw CAppmanError(12);
        return true;
    }
    bool m_started = false;
    std::wstring m_tempFolder;
};

}  // namespace

std::unique_ptr<IApplicationManager> CreateApplicationManager(const wchar_t*, const wchar_t*, const wchar_t*,
                                                              bool portable) {
    // The data store mode comes with the portable manager; until then asking for it is a
    // programming error, not a user's missing rights.
    if (portable) throw std::invalid_argument("the portable application manager is not available");
    return std::make_unique<CNormalAppManager>();
}

}  // namespace kapp
