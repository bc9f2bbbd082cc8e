#include "tagging/com_support.h"

#include <new>
#include <string.h>
#include <vector>

void RaiseCallFailure(HRESULT hr, IUnknown* failingObject, REFIID calledInterface)
{
    IErrorInfo* errorInfo = NULL;
    ISupportErrorInfo* support = NULL;
    if (failingObject != NULL &&
        SUCCEEDED(failingObject->QueryInterface(IID_ISupportErrorInfo,
                                                reinterpret_cast<void**>(&support))) &&
        support != NULL)
    {
        if (support->InterfaceSupportsErrorInfo(calledInterface) == S_OK &&
            GetErrorInfo(0, &errorInfo) != S_OK && errorInfo != NULL)
        {
            errorInfo->Release();
            errorInfo = NULL;
        }
        support->Release();
    }
    // The error object owns the error information's reference from here on.
    throw _com_error(hr, errorInfo);
}

void RaiseComError(HRESULT hr)
{
    throw _com_error(hr);
}

void QueryWanted(IUnknown* object, REFIID iid, void** result)
{
    *result = NULL;
    HRESULT hr = object->QueryInterface(iid, result);
    if (FAILED(hr))
    {
        if (*result != NULL)
        {
            // A failing answer owns nothing; never trust what it left behind.
            *result = NULL;
        }
        if (hr != E_NOINTERFACE)
        {
            RaiseComError(hr);
        }
    }
}

BSTR CopyBstr(BSTR text)
{
    if (text == NULL)
    {
        return NULL;
    }
    BSTR copy = SysAllocStringLen(text, SysStringLen(text));
    if (copy == NULL)
    {
        RaiseComError(E_OUTOFMEMORY);
    }
    return copy;
}

BSTR AnsiToBstr(const char* text)
{
    if (text == NULL)
    {
        return NULL;
    }
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    if (length <= 0)
    {
        // Only a text that cannot be measured fails here; it has no characters to pass on.
        length = 1;
    }
    BSTR result = NULL;
    try
    {
        std::vector<wchar_t> wide(static_cast<size_t>(length), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
        wide[static_cast<size_t>(length) - 1] = L'\0';
        result = SysAllocString(&wide[0]);
    }
    catch (const std::bad_alloc&)
    {
        RaiseComError(E_OUTOFMEMORY);
    }
    if (result == NULL)
    {
        RaiseComError(E_OUTOFMEMORY);
    }
    return result;
}

std::string BstrToAnsi(BSTR text)
{
    std::string result;
    if (text == NULL)
    {
        return result;
    }
    const int wideLength = static_cast<int>(SysStringLen(text));
    if (wideLength == 0)
    {
        return result;
    }
    try
    {
        int length = WideCharToMultiByte(CP_ACP, 0, text, wideLength, NULL, 0, NULL, NULL);
        if (length > 0)
        {
            result.resize(static_cast<size_t>(length));
            WideCharToMultiByte(CP_ACP, 0, text, wideLength, &result[0], length, NULL, NULL);
        }
        // The module's texts end at their first zero, as the host's do.
        result.resize(strlen(result.c_str()));
    }
    catch (const std::bad_alloc&)
    {
        RaiseComError(E_OUTOFMEMORY);
    }
    return result;
}
