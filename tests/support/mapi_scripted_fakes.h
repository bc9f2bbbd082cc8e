// Scripted counting fakes of everything Execute receives or opens: the host's site, the MAPI
// session, its store table, the store and the message. Each writes its calls with their
// arguments into a shared CallLog, answers the HRESULT a test sets, hands out what the test
// gives it (with a reference of its own), and counts references so a test can check that
// every one handed out came back. Property values and rows are allocated with
// MAPIAllocateBuffer, as MAPI's callers free them with MAPIFreeBuffer/FreeProws.
#pragma once

#include <string>
#include <vector>

#include <mapix.h>

#include "extension/rule_action_iface.h"
#include "support/counting.h"
#include "support/mapi_fakes.h"

// Bytes as upper-case hexadecimal text, as HexFromBin writes them.
std::string HexOf(const void* bytes, size_t count);
std::string HexOf(const std::vector<BYTE>& bytes);

class FakeSite : public IRuleActionSite
{
public:
    explicit FakeSite(CallLog* log);
    virtual ~FakeSite() {}

    STDMETHOD(QueryInterface)(REFIID iid, void** object);
    STDMETHOD_(ULONG, AddRef)() { return counter.AddRef(); }
    STDMETHOD_(ULONG, Release)() { return counter.Release(); }
    STDMETHOD(GetVersion)(ULONG* version, ULONG flags);
    STDMETHOD(GetWindow)(HWND* window);
    STDMETHOD(GetSession)(IMAPISession** session);

    RefCounter counter;
    CallLog* log;
    HRESULT getSessionResult;
    IMAPISession* session;          // handed out by GetSession, with a reference of its own
    bool sessionEvenOnFailure;      // hand the session out although GetSession fails
    HWND window;
};

class FakeTable : public IMAPITable
{
public:
    struct Row
    {
        std::vector<BYTE> entryId;
        bool isDefault;
    };

    explicit FakeTable(CallLog* log, const char* name = "table");
    virtual ~FakeTable() {}

    TB_FAKE_IUNKNOWN(IMAPITable)
    MAPI_IMAPITABLE_METHODS(TB_FAKE_UNSUPPORTED)

    RefCounter counter;
};

// The store table: rows of (PR_ENTRYID, PR_DEFAULT_STORE), restricted honestly.
class FakeStoreTable : public FakeTable
{
public:
    explicit FakeStoreTable(CallLog* log);

    STDMETHOD(SetColumns)(LPSPropTagArray columns, ULONG flags);
    STDMETHOD(Restrict)(LPSRestriction restriction, ULONG flags);
    STDMETHOD(SortTable)(LPSSortOrderSet sortOrder, ULONG flags);
    STDMETHOD(SeekRow)(BOOKMARK origin, LONG count, LONG* sought);
    STDMETHOD(QueryRows)(LONG count, ULONG flags, LPSRowSet* rows);

    void AddStore(const std::vector<BYTE>& entryId, bool isDefault);

    CallLog* log;
    std::vector<Row> rows;
    HRESULT setColumnsResult;
    HRESULT restrictResult;
    HRESULT queryRowsResult;
    int queryRowsFailOnCall;   // the QueryRows call (from 1) that fails; 0: every call

private:
    int m_queryRowsCalls;
    std::vector<ULONG> m_columns;
    std::vector<Row> m_visible;
    size_t m_position;
};

class FakeMessage;

class ScriptedStore : public FakeMsgStore
{
public:
    explicit ScriptedStore(CallLog* log);

    STDMETHOD(OpenEntry)(ULONG cbEntryID, LPENTRYID entryId, LPCIID iid, ULONG flags,
                         ULONG* objectType, LPUNKNOWN* object);

    CallLog* log;
    HRESULT openEntryResult;
    IUnknown* message;           // handed out by OpenEntry
    bool messageEvenOnFailure;
};

class ScriptedSession : public FakeSession
{
public:
    explicit ScriptedSession(CallLog* log);

    STDMETHOD(GetMsgStoresTable)(ULONG flags, LPMAPITABLE* table);
    STDMETHOD(OpenMsgStore)(ULONG_PTR uiParam, ULONG cbEntryID, LPENTRYID entryId, LPCIID iid,
                            ULONG flags, LPMDB* store);

    CallLog* log;
    HRESULT getTableResult;
    IMAPITable* table;
    HRESULT openStoreResult;
    IMsgStore* store;
    bool storeEvenOnFailure;
    ULONG_PTR openStoreWindow;
};

// A message with the full IMessage table; every method answers MAPI_E_NO_SUPPORT.
class FakeMessage : public IMessage
{
public:
    explicit FakeMessage(CallLog* log, const char* name = "message");
    virtual ~FakeMessage() {}

    TB_FAKE_IUNKNOWN(IMessage)
    MAPI_IMAPIPROP_METHODS(TB_FAKE_UNSUPPORTED)
    MAPI_IMESSAGE_METHODS(TB_FAKE_UNSUPPORTED)

    RefCounter counter;
};

// GetProps answers PR_ENTRYID and PR_STORE_ENTRYID from the bytes a test sets; a property
// marked missing comes back as an error value, as MAPI reports a property the message lacks.
class ScriptedMessage : public FakeMessage
{
public:
    explicit ScriptedMessage(CallLog* log);

    STDMETHOD(SaveChanges)(ULONG flags);
    STDMETHOD(GetProps)(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values);
    STDMETHOD(SetProps)(ULONG count, LPSPropValue values, LPSPropProblemArray* problems);

    CallLog* log;
    HRESULT saveChangesResult;
    std::vector<BYTE> entryId;
    std::vector<BYTE> storeEntryId;
    bool entryIdMissing;
    bool storeEntryIdMissing;
    HRESULT getPropsResult;      // a failure GetProps returns instead of values
};
