// Start-up pieces whose full behaviour is still to come: the help-file fallbacks, the
// AutoPlay texts, the about text, the help topics and the launch request.
#include "app/PyrlanApp.h"

void CPyrlanApp::ChooseHelpFile() {
    m_helpFile.clear();
}

void CPyrlanApp::RefreshAutoplayTexts() {}

void CPyrlanApp::ComposeAboutText() {
    m_aboutText = m_displayName;
    m_aboutTextA.Set(m_aboutText);
}

void CPyrlanApp::FillHelpTopics() {
    m_helpTable.rowCount = 0;
    m_helpTable.helpFile = HostText(m_helpFile, m_helpFileA);
    m_helpFileA.Set(m_helpFile);
}

void CPyrlanApp::ParseLaunchRequest() {}

void CPyrlanApp::ReleaseLaunchItems() {}
