// The error family. Errors are raised by value and carry a short title and a description meant
// for the user; descriptions that users see are looked up by key (with an English default) and
// then filled in through %NAME% placeholders.
//
//     try { ... } catch (const kest::CError& e) { Show(e.GetTitle(), e.GetDescription()); }
//
// A handler that keeps an error beyond its own end keeps a Clone().
#pragma once

#include "kest/Object.h"
#include "kest/String.h"
#include "kest/URI.h"

#include <cstdint>
#include <exception>
#include <typeinfo>

namespace kest {

class CException : public std::exception, public CObject {
public:
    CException(const String& description, const String& title);

    // The description in the current code page.
    const char* what() const noexcept override;
    virtual String GetTitle() const { return m_title; }
    virtual String GetDescription() const { return m_description; }
    virtual P<CException> Clone() const;

protected:
    void SetDescription(const String& description) { m_description = description; }

private:
    String m_title;
    String m_description;
    mutable String m_narrow;  // what() keeps its converted copy here
};

class CError : public CException {
public:
    // "Unspecified error" and "Error" stand in for what is not given.
    explicit CError(const String& description = String::Null(), const String& title = String::Null());
    P<CException> Clone() const override;
};

class CParseError : public CError {
public:
    explicit CParseError(const String& description);
    P<CException> Clone() const override;
};

class CNoSuchObjectError : public CError {
public:
    explicit CNoSuchObjectError(const String& description = String::Null());
    P<CException> Clone() const override;
};

class CURIError : public CError {
public:
    // Every "%URI%" in the message becomes the URI's text ("<uri unknown>" without one).
    explicit CURIError(const String& message = String::Null(), P<IURI> uri = nullptr);
    P<IURI> GetURI() const { return m_uri; }
    P<CException> Clone() const override;

protected:
    // A description that is already complete: values filled into it may contain anything,
    // also text that looks like a placeholder.
    struct VerbatimTag {};
    CURIError(VerbatimTag, const String& description, P<IURI> uri);

private:
    P<IURI> m_uri;
};

class CFileError : public CURIError {
public:
    explicit CFileError(const String& message = String::Null(), P<IURI> uri = nullptr);
    P<CException> Clone() const override;

protected:
    CFileError(VerbatimTag, const String& description, P<IURI> uri);
};

class CFileNotFoundError : public CFileError {
public:
    CFileNotFoundError();
    explicit CFileNotFoundError(P<IURI> uri);
    P<CException> Clone() const override;
};

class CStreamError : public CURIError {
public:
    CStreamError(const String& message, P<IURI> uri);
    P<CException> Clone() const override;

protected:
    CStreamError(VerbatimTag, const String& description, P<IURI> uri);
};

class CStreamClosedError : public CStreamError {
public:
    explicit CStreamClosedError(P<IURI> uri = nullptr);
    P<CException> Clone() const override;
};

class CEndOfStreamError : public CStreamError {
public:
    explicit CEndOfStreamError(P<IURI> uri = nullptr);
    P<CException> Clone() const override;
};

// An error about an object; the object (or else its type) is named in the description.
class CObjectError : public CError {
public:
    // Without a message the description is the object description; with one, every
    // "%OBJECTDESC%" in it is replaced by the object description.
    explicit CObjectError(const IBase* object = nullptr, const std::type_info* objectType = nullptr,
                          const String& message = String::Null());
    P<IBase> Object() const { return m_object; }
    const std::type_info* ObjectType() const { return m_objectType; }
    // "object: <ToString>", else "object class: <type>", else "unknown object".
    String GetObjectDescription() const;
    P<CException> Clone() const override;

protected:
    struct TitleTag {};
    CObjectError(TitleTag, const String& title, const IBase* object, const std::type_info* objectType);

private:
    P<IBase> m_object;
    const std::type_info* m_objectType;
};

class CMethodNotImplementedError : public CObjectError {
public:
    explicit CMethodNotImplementedError(const String& method, const IBase* object = nullptr,
                                        const std::type_info* objectType = nullptr);
    String GetMethod() const { return m_method; }
    P<CException> Clone() const override;

private:
    String m_method;
};

class CInvalidObjectStateError : public CObjectError {
public:
    explicit CInvalidObjectStateError(const String& reason, const IBase* object = nullptr,
                                      const std::type_info* objectType = nullptr);
    String GetReason() const { return m_reason; }
    P<CException> Clone() const override;

private:
    String m_reason;
};

class CEndOfEnumError : public CInvalidObjectStateError {
public:
    explicit CEndOfEnumError(const IBase* object = nullptr, const std::type_info* objectType = nullptr);
    P<CException> Clone() const override;
};

class CCastError : public CObjectError {
public:
    CCastError(const IBase* object, const std::type_info* targetType);
    const std::type_info* GetTargetType() const { return m_targetType; }
    P<CException> Clone() const override;

private:
    const std::type_info* m_targetType;
};

class CInvalidArgError : public CObjectError {
public:
    explicit CInvalidArgError(const String& argument = String::Null(),
                              const String& method = String::Null(), const IBase* object = nullptr,
                              const std::type_info* objectType = nullptr);
    String GetArgument() const { return m_argument; }
    String GetMethod() const { return m_method; }
    P<CException> Clone() const override;

private:
    String m_method;
    String m_argument;
};

// Raises the error for an operating-system error code: CFileNotFoundError for "file not found"
// and "path not found" (with the URI when object is one), else CError with the system's message
// text, put in place of every "%ERRORDESC%" of messageTemplate when one is given.
[[noreturn]] void RaiseSystemError(uint32_t code, const String& messageTemplate = String::Null(),
                                   const IBase* object = nullptr);

}  // namespace kest
