// Files one message under one collection: finds the message as a mail item through the
// client's automation server and writes "TB2 : " and the collection name into its "Group"
// property, unless the property already holds another non-empty value that does not begin
// with "TB1 :". Automation failures leave as _com_error.
#pragma once

#include <mapidefs.h>

// The message stays the caller's; it is only read.
void TagMessage(IMAPIProp* message, const char* name);
