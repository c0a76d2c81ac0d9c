#include "kest/Error.h"

#include "kest/Localizer.h"

namespace kest {

namespace {

String OrDefault(const String& text, const char* fallback) {
    return text.IsNull() ? String(fallback) : text;
}

// Building an error must not raise another one: a text that cannot be had becomes the fallback.
String UriText(const IURI* uri) {
    if (!uri) return String("<uri unknown>");
    try {
        String text;
        uri->ToString(text);
        return text;
    } catch (...) {
        return String("<uri unknown>");
    }
}

// The URI's file as the user knows it: the system's path for it, or else the URI's own text.
String UriLocalPath(const IURI* uri) {
    String path = SystemPathOf(uri);
    return path.IsEmpty() ? UriText(uri) : path;
}

String ClassNameOf(const IBase* object) {
    try {
        return object ? TypeName(typeid(*object)) : String("unknown object");
    } catch (...) {
        return String("unknown object");
    }
}

}  // namespace

// ---------------------------------------------------------------------------------- CException

CException::CException(const String& description, const String& title)
    : m_title(title), m_description(description) {}

const char* CException::what() const noexcept {
    try {
        if (m_description.HasEncoding(kEncodingCodePage) && m_description.IsTerminated()) {
            return static_cast<const char*>(m_description.Data());
        }
        if (!m_narrow.HasEncoding(kEncodingCodePage)) {
            m_narrow = m_description.ConvertTo(CodePageEncoding());
        }
        return static_cast<const char*>(m_narrow.Data());
    } catch (...) {
        return "Unspecified error";
    }
}

P<CException> CException::Clone() const { return New<CException>(*this); }

CError::CError(const String& description, const String& title)
    : CException(OrDefault(description, "Unspecified error"), OrDefault(title, "Error")) {}
P<CException> CError::Clone() const { return New<CError>(*this); }

CParseError::CParseError(const String& description) : CError(description, String("Parse error")) {}
P<CException> CParseError::Clone() const { return New<CParseError>(*this); }

CNoSuchObjectError::CNoSuchObjectError(const String& description)
    : CError(description.IsNull()
                 ? LookupLocalizedText(String("kest.CNoSuchObjectError.desc"), String(L"No such object."))
                 : description) {}
P<CException> CNoSuchObjectError::Clone() const { return New<CNoSuchObjectError>(*this); }

// ---------------------------------------------------------------------------------- URI errors

CURIError::CURIError(const String& message, P<IURI> uri)
    : CError(message.IsNull() ? message : message.Replace(String("%URI%"), UriText(uri.Get()))),
      m_uri(std::move(uri)) {}
CURIError::CURIError(VerbatimTag, const String& description, P<IURI> uri)
    : CError(description), m_uri(std::move(uri)) {}
P<CException> CURIError::Clone() const { return New<CURIError>(*this); }

CFileError::CFileError(const String& message, P<IURI> uri) : CURIError(message, std::move(uri)) {}
CFileError::CFileError(VerbatimTag tag, const String& description, P<IURI> uri)
    : CURIError(tag, description, std::move(uri)) {}
P<CException> CFileError::Clone() const { return New<CFileError>(*this); }

CFileNotFoundError::CFileNotFoundError()
    : CFileError(VerbatimTag(),
                 LookupLocalizedText(String("kest.CFileNotFoundError.GeneralDesc"),
                                     String(L"The file was not found.")),
                 nullptr) {}

CFileNotFoundError::CFileNotFoundError(P<IURI> uri)
    : CFileError(VerbatimTag(),
                 uri ? LookupLocalizedText(String("kest.CFileNotFoundError.Desc"),
                                           String(L"The file '%FILE%' was not found."))
                           .Replace(String("%FILE%"), UriLocalPath(uri.Get()))
                     : LookupLocalizedText(String("kest.CFileNotFoundError.GeneralDesc"),
                                           String(L"The file was not found.")),
                 uri) {}
P<CException> CFileNotFoundError::Clone() const { return New<CFileNotFoundError>(*this); }

CStreamError::CStreamError(const String& message, P<IURI> uri) : CURIError(message, std::move(uri)) {}
CStreamError::CStreamError(VerbatimTag tag, const String& description, P<IURI> uri)
    : CURIError(tag, description, std::move(uri)) {}
P<CException> CStreamError::Clone() const { return New<CStreamError>(*this); }

CStreamClosedError::CStreamClosedError(P<IURI> uri)
    : CStreamError(VerbatimTag(), String("The stream has been closed."), std::move(uri)) {}
P<CException> CStreamClosedError::Clone() const { return New<CStreamClosedError>(*this); }

CEndOfStreamError::CEndOfStreamError(P<IURI> uri)
    : CStreamError(VerbatimTag(),
                   uri ? String("Unexpected end of data stream (uri: '") + UriText(uri.Get()) + "')."
                       : String("Unexpected end of data stream."),
                   uri) {}
P<CException> CEndOfStreamError::Clone() const { return New<CEndOfStreamError>(*this); }

// ---------------------------------------------------------------------------------- object errors

CObjectError::CObjectError(const IBase* object, const std::type_info* objectType, const String& message)
    : CObjectError(TitleTag(), String("Object error"), object, objectType) {
    String description = GetObjectDescription();
    if (!message.IsNull()) description = message.Replace(String("%OBJECTDESC%"), description);
    SetDescription(description);
}

CObjectError::CObjectError(TitleTag, const String& title, const IBase* object,
                           const std::type_info* objectType)
    : CError(String::Null(), title), m_object(const_cast<IBase*>(object)), m_objectType(objectType) {
    if (!m_objectType && object) m_objectType = &typeid(*object);
}

String CObjectError::GetObjectDescription() const {
    try {
        if (m_object) {
            String text;
            m_object->ToString(text);
            return String("object: ") + text;
        }
        if (m_objectType) return String("object class: ") + TypeName(*m_objectType);
    } catch (...) {
    }
    return String("unknown object");
}

P<CException> CObjectError::Clone() const { return New<CObjectError>(*this); }

CMethodNotImplementedError::CMethodNotImplementedError(const String& method, const IBase* object,
                                                       const std::type_info* objectType)
    : CObjectError(object, objectType), m_method(method) {
    SetDescription(String("Method not implemented (") + GetObjectDescription() + "): " +
                   (method.IsEmpty() ? String("unspecified method.") : method + "."));
}
P<CException> CMethodNotImplementedError::Clone() const {
    return New<CMethodNotImplementedError>(*this);
}

CInvalidObjectStateError::CInvalidObjectStateError(const String& reason, const IBase* object,
                                                   const std::type_info* objectType)
    : CObjectError(object, objectType), m_reason(reason) {
    // A reason that is a sentence of its own already ends in its full stop.
    const bool ended = !reason.IsNull() && reason.EndsWith(String("."));
    SetDescription(String("The object is in an invalid state (") + GetObjectDescription() + "): " + reason +
                   (ended ? "" : "."));
}
P<CException> CInvalidObjectStateError::Clone() const { return New<CInvalidObjectStateError>(*this); }

CEndOfEnumError::CEndOfEnumError(const IBase* object, const std::type_info* objectType)
    : CInvalidObjectStateError(LookupLocalizedText(String("kest.CEndOfEnumError.desc"),
                                                   String(L"end of enumeration already reached")),
                               object, objectType) {}
P<CException> CEndOfEnumError::Clone() const { return New<CEndOfEnumError>(*this); }

CCastError::CCastError(const IBase* object, const std::type_info* targetType)
    : CObjectError(TitleTag(), String("Cast error"), object, nullptr), m_targetType(targetType) {
    String target = String("unknown interface");
    try {
        if (targetType) target = TypeName(*targetType);
    } catch (...) {
    }
    SetDescription(String("Error casting a '") + ClassNameOf(object) + "' object to '" + target + "'.");
}
P<CException> CCastError::Clone() const { return New<CCastError>(*this); }

CInvalidArgError::CInvalidArgError(const String& argument, const String& method, const IBase* object,
                                   const std::type_info* objectType)
    : CObjectError(object, objectType), m_method(method), m_argument(argument) {
    SetDescription(String("An invalid argument was passed to method '") +
                   (method.IsEmpty() ? String("unspecified method") : method) + "' of '" +
                   GetObjectDescription() + "': " +
                   (argument.IsEmpty() ? String("unspecified argument") : argument));
}
P<CException> CInvalidArgError::Clone() const { return New<CInvalidArgError>(*this); }

}  // namespace kest
