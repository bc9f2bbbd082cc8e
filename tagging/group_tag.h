// The "Group" user property on a mail item, read and written through the object model.
// Automation failures leave these routines as _com_error.
#pragma once

#include <stddef.h>

#include "tagging/outlook_om.h"

// Copies the item's "Group" text into the buffer (at most capacity - 1 characters and a
// terminating zero; a longer stored text is cut there). Returns 1 when the text is non-empty,
// 0 otherwise; without a property the buffer is left untouched.
int ReadGroupTag(_MailItem* item, char* buffer, size_t capacity);

// Sets the item's "Group" property to the value and, when save is non-zero, saves the item;
// a failing save is dropped.
void WriteGroupTag(_MailItem* item, const char* value, int save);

// Sets the named text property, creating it when it is absent.
void SetUserProperty(UserProperties* properties, const char* name, const char* value);
