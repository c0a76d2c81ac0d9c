// The description document that every data store archive carries: a root "appmanager" with one
// item element per registered item, named after the section it belongs to.
//
//     <appmanager version="1">
//      <regentry_user type="2" name="HKEY_CURRENT_USER\Software\X" destination="regsection.1.reg"/>
//      <regentry_user type="1" name="C:\data\" available="true">
//       <regentry_user destination="C:\data\a.txt" type="0" available="true"/>
//      </regentry_user>
//     </appmanager>
//
// Reading is lenient: the root's name and version play no part, every attribute has a default.
#pragma once

#include <wx/xml/xml.h>

#include <memory>

namespace kapp {

inline const wchar_t kDescriptionEntry[] = L"@@portable@@_description.xml";
inline const wchar_t kUserSection[] = L"regentry_user";
inline const wchar_t kInitSection[] = L"regentry_init";

enum ItemType : long { kFileItem = 0, kFolderItem = 1, kRegistryItem = 2 };

// A new document with the root "appmanager" version "1".
std::unique_ptr<wxXmlDocument> NewDescription();

// A new element named after the section; attributes keep the order they are added in.
std::unique_ptr<wxXmlNode> NewItem(const wxString& section);
void SetAttribute(wxXmlNode& item, const wxString& name, const wxString& value);
inline const wxChar* BoolText(bool value) { return value ? wxS("true") : wxS("false"); }

// Appends children in O(1) each (wxXmlNode::AddChild walks the whole list every time).
class CChildAppender {
public:
    explicit CChildAppender(wxXmlNode& parent);
    void Append(std::unique_ptr<wxXmlNode> child);

private:
    wxXmlNode& m_parent;
    wxXmlNode* m_last;
};

// The document in the stream (UTF-8 unless it declares UTF-16, ISO-8859-1 or US-ASCII), or
// null when it does not parse, has no root element or declares any other encoding.
std::unique_ptr<wxXmlDocument> ReadDescription(wxInputStream& input);

// "type": -1 when absent; text that is not a decimal integer counts as 0.
long ReadItemType(const wxXmlNode& item);
// "name", "destination": empty when absent.
wxString ReadText(const wxXmlNode& item, const wxString& attribute);
// "available": true only for "true" in any case.
bool ReadAvailable(const wxXmlNode& item);

}  // namespace kapp
