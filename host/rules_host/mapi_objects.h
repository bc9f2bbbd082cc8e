// The host's MAPI session over the test mailbox: the session, its message-store table, the
// stores and the messages, answering what the rule action and MAPI32.DLL ask of them. Values
// handed out (property values, row sets) come from MAPI32.DLL's allocator, since MAPI code frees
// them with MAPIFreeBuffer and FreeProws.
#pragma once

#include <string>
#include <mapix.h>

// A new session over the mailbox file, with one reference that the caller owns.
HRESULT CreateMailboxSession(const std::string& mailboxPath, IMAPISession** session);

// Session, tables, stores and messages alive in this process; 0 once everything is given back.
LONG LiveMapiObjects();

// What the host's objects were asked, for tests: counts since the process started.
struct MapiCallCounts
{
    LONG openMsgStore;
    LONG openEntry;
    LONG saveChanges;
};
MapiCallCounts GetMapiCallCounts();
