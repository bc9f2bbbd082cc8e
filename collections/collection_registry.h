// The per-user list of collections: HKEY_CURRENT_USER\Software\Tallybook\Groups\Group<N>, each
// key holding the collection's name in its REG_SZ value "Name". The list is found by reading
// 1, 2, 3, ... until the first read fails.
#pragma once

// Smallest buffer ReadCollectionName writes into.
const int kCollectionNameBufferSize = 30;

// Reads the name of collection `number` into `name` (at least 30 bytes). True when a name was
// read: `name` then holds it NUL-terminated, at most 29 characters. A missing key or value, a
// key that cannot be opened with full access, and a value that does not fit 29 characters
// all give false.
bool ReadCollectionName(int number, char* name);

// Stores `name` as collection `number`, replacing any name stored there. Failures go
// unreported.
void WriteCollectionName(int number, const char* name);

// True when writing `number` would replace no stored name: its key is missing or holds no
// "Name" value.
bool IsCollectionNumberFree(int number);
