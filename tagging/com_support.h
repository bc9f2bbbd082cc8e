// Automation failures as _com_error, and holders that give back references, strings and
// VARIANTs exactly once, also while a _com_error passes through.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <comdef.h>

#include <string>

// Raises _com_error for an object-model call that failed: with the server's error
// information when the failing object answers ISupportErrorInfo for the interface called.
[[noreturn]] void RaiseCallFailure(HRESULT hr, IUnknown* failingObject, REFIID calledInterface);

// Raises _com_error carrying the HRESULT alone.
[[noreturn]] void RaiseComError(HRESULT hr);

// Asks for an interface; E_NOINTERFACE leaves the holder's pointer null, any other failure
// raises with its HRESULT.
void QueryWanted(IUnknown* object, REFIID iid, void** result);

// A counted reference. A call through an empty holder raises E_POINTER; a copy takes its own
// reference.
template <class T> class ComRef
{
public:
    ComRef() : m_p(NULL) {}
    ComRef(const ComRef& other) : m_p(other.m_p)
    {
        if (m_p != NULL)
        {
            m_p->AddRef();
        }
    }
    ~ComRef() { Reset(); }

    T* get() const { return m_p; }
    T* operator->() const
    {
        if (m_p == NULL)
        {
            RaiseComError(E_POINTER);
        }
        return m_p;
    }
    // Empties the holder and hands out its place for a call that returns a new reference.
    T** put()
    {
        Reset();
        return &m_p;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void Reset()
    {
        if (m_p != NULL)
        {
            T* p = m_p;
            m_p = NULL;
            p->Release();
        }
    }

private:
    ComRef& operator=(const ComRef&);

    T* m_p;
};

// An automation string from SysAllocString, freed with SysFreeString.
class BstrHolder
{
public:
    explicit BstrHolder(BSTR value = NULL) : m_value(value) {}
    ~BstrHolder() { Reset(); }

    BSTR get() const { return m_value; }
    void Attach(BSTR value)
    {
        Reset();
        m_value = value;
    }
    void Reset()
    {
        if (m_value != NULL)
        {
            BSTR value = m_value;
            m_value = NULL;
            SysFreeString(value);
        }
    }

private:
    BstrHolder(const BstrHolder&);
    BstrHolder& operator=(const BstrHolder&);

    BSTR m_value;
};

// A VARIANT the module builds: VT_EMPTY from the start, cleared once. Clear() raises when
// VariantClear fails; the destructor, reached only while an error passes, clears quietly.
class VariantHolder
{
public:
    VariantHolder() : m_cleared(false) { VariantInit(&m_value); }
    ~VariantHolder()
    {
        if (!m_cleared)
        {
            VariantClear(&m_value);
        }
    }

    VARIANT& value() { return m_value; }
    void Clear()
    {
        if (!m_cleared)
        {
            m_cleared = true;
            HRESULT hr = VariantClear(&m_value);
            if (FAILED(hr))
            {
                RaiseComError(hr);
            }
        }
    }

private:
    VariantHolder(const VariantHolder&);
    VariantHolder& operator=(const VariantHolder&);

    VARIANT m_value;
    bool m_cleared;
};

// A copy of an automation string; NULL gives NULL. Raises E_OUTOFMEMORY when no memory is left.
BSTR CopyBstr(BSTR text);

// ANSI text to an automation string in the system ANSI code page; NULL gives NULL. Raises
// E_OUTOFMEMORY when no memory is left.
BSTR AnsiToBstr(const char* text);

// An automation string back to ANSI text in the same code page; NULL gives the empty text.
std::string BstrToAnsi(BSTR text);
