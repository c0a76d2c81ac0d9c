#include "kapp/Description.h"

namespace kapp {

std::unique_ptr<wxXmlDocument> NewDescription() {
    auto document = std::make_unique<wxXmlDocument>();
    auto root = std::make_unique<wxXmlNode>(wxXML_ELEMENT_NODE, wxS("appmanager"));
    root->AddAttribute(wxS("version"), wxS("1"));
    document->SetRoot(root.release());
    return document;
}

std::unique_ptr<wxXmlNode> NewItem(const wxString& section) {
    return std::make_unique<wxXmlNode>(wxXML_ELEMENT_NODE, section);
}

void SetAttribute(wxXmlNode& item, const wxString& name, const wxString& value) { item.AddAttribute(name, value); }

CChildAppender::CChildAppender(wxXmlNode& parent) : m_parent(parent), m_last(parent.GetChildren()) {
    while (m_last && m_last->GetNext()) m_last = m_last->GetNext();
}

void CChildAppender::Append(std::unique_ptr<wxXmlNode> child) {
    wxXmlNode* node = child.release();
    if (m_last) {
        m_parent.InsertChildAfter(node, m_last);
    } else {
        m_parent.AddChild(node);
    }
    m_last = node;
}

std::unique_ptr<wxXmlDocument> ReadDescription(wxInputStream& input) {
    auto document = std::make_unique<wxXmlDocument>();
    if (!document->Load(input, wxString("UTF-8"), 0) || !document->GetRoot()) return nullptr;
    return document;
}

long ReadItemType(const wxXmlNode& item) {
    const wxString text = item.GetAttribute(wxS("type"), wxS("-1"));
    long value = 0;
    return text.ToLong(&value, 10) ? value : 0;
}

wxString ReadText(const wxXmlNode& item, const wxString& attribute) { return item.GetAttribute(attribute, wxString()); }

bool ReadAvailable(const wxXmlNode& item) {
    return item.GetAttribute(wxS("available"), wxS("false")).IsSameAs(wxS("true"), false);
}

}  // namespace kapp
