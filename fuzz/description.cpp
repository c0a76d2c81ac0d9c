// The description document of a data store: XML bytes parsed as the load manager parses them,
// then walked as the manager and its handlers walk it, with every name and destination put
// through the path checks that decide whether anything is restored.
#include "fuzz/WxSetup.h"
#include "kapp/Description.h"
#include "kapp/SafePaths.h"

#include <wx/mstream.h>

#include <cstdint>

namespace {

void Visit(const wxXmlNode& item, int depth) {
    const std::wstring name = kapp::ReadText(item, wxS("name")).ToStdWstring();
    const std::wstring destination = kapp::ReadText(item, wxS("destination")).ToStdWstring();
    (void)kapp::ReadItemType(item);
    (void)kapp::ReadAvailable(item);
    (void)kapp::NormalisedStorePath(destination);
    (void)kapp::IsInsideFolder(destination, name);
    (void)kapp::IsSameFile(destination, name);
    if (depth >= 4) return;
    for (const wxXmlNode* child = item.GetChildren(); child; child = child->GetNext())
        if (child->GetType() == wxXML_ELEMENT_NODE) Visit(*child, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    wxMemoryInputStream input(data, size);
    std::unique_ptr<wxXmlDocument> document = kapp::ReadDescription(input);
    if (!document) return 0;
    for (const wxXmlNode* item = document->GetRoot()->GetChildren(); item; item = item->GetNext())
        if (item->GetType() == wxXML_ELEMENT_NODE) Visit(*item, 0);
    return 0;
}
