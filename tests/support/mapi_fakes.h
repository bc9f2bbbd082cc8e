// Counting fakes of the MAPI objects the module receives. Every method that a test has not
// given behaviour answers MAPI_E_NO_SUPPORT and is logged as "<name>.<unexpected>".
#pragma once

#include <mapix.h>

#include "support/counting.h"

#define TB_FAKE_UNSUPPORTED { return MAPI_E_NO_SUPPORT; }

#define TB_FAKE_IUNKNOWN(Interface)                                                              \
    STDMETHOD(QueryInterface)(REFIID iid, void** object)                                         \
    {                                                                                             \
        *object = NULL;                                                                          \
        if (IsEqualIID(iid, IID_IUnknown))                                                       \
        {                                                                                         \
            *object = static_cast<Interface*>(this);                                             \
            AddRef();                                                                            \
            return S_OK;                                                                         \
        }                                                                                         \
        return E_NOINTERFACE;                                                                    \
    }                                                                                             \
    STDMETHOD_(ULONG, AddRef)() { return counter.AddRef(); }                                     \
    STDMETHOD_(ULONG, Release)() { return counter.Release(); }

class FakeSession : public IMAPISession
{
public:
    FakeSession(CallLog* log, const char* name = "session") : counter(log, name) {}
    virtual ~FakeSession() {}

    TB_FAKE_IUNKNOWN(IMAPISession)
    MAPI_IMAPISESSION_METHODS(TB_FAKE_UNSUPPORTED)

    RefCounter counter;
};

class FakeMsgStore : public IMsgStore
{
public:
    FakeMsgStore(CallLog* log, const char* name = "store") : counter(log, name) {}
    virtual ~FakeMsgStore() {}

    TB_FAKE_IUNKNOWN(IMsgStore)
    MAPI_IMAPIPROP_METHODS(TB_FAKE_UNSUPPORTED)
    MAPI_IMSGSTORE_METHODS(TB_FAKE_UNSUPPORTED)

    RefCounter counter;
};
