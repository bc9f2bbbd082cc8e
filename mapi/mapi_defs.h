// MAPI as the module uses it: the toolchain's declarations, and every tag, restriction code
// and flag the module passes, checked against the values the module relies on.
#pragma once

#include <windows.h>
#include <mapidefs.h>
#include <mapitags.h>
#include <mapix.h>
#include <mapiutil.h>

static_assert(PR_ENTRYID == 0x0FFF0102, "PR_ENTRYID");
static_assert(PR_STORE_ENTRYID == 0x0FFB0102, "PR_STORE_ENTRYID");
static_assert(PR_DEFAULT_STORE == 0x3400000B, "PR_DEFAULT_STORE");
static_assert(PROP_TYPE(PR_ENTRYID) == PT_BINARY && PROP_TYPE(PR_STORE_ENTRYID) == PT_BINARY,
              "entry identifiers are byte strings");
static_assert(PROP_TYPE(PR_DEFAULT_STORE) == PT_BOOLEAN, "PR_DEFAULT_STORE is a Boolean");
static_assert(RES_PROPERTY == 4 && RELOP_EQ == 4, "restriction type and relation");
static_assert(MDB_WRITE == 0x04 && MDB_NO_MAIL == 0x80, "store opening flags");
static_assert((MDB_WRITE | MDB_NO_MAIL) == 0x84, "store opening flags");
static_assert(MAPI_BEST_ACCESS == 0x10, "message opening flag");
static_assert(KEEP_OPEN_READWRITE == 0x2, "message saving flag");

// Flags for opening the default store: write access, and no mail submission through it.
const ULONG kDefaultStoreFlags = MDB_WRITE | MDB_NO_MAIL;

// Opens the profile's default message store (the store-table row whose PR_DEFAULT_STORE is
// TRUE) into *store. Succeeds only when a store was opened; MAPI writes it straight into the
// place given, so a store returned alongside a failure is the caller's to release.
HRESULT GetDefaultStore(IMAPISession* session, IMsgStore** store);
