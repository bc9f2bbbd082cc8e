// The automation server's objects: the application, its "MAPI" namespace, and the items of the
// test mailbox with their user properties. Each object keeps the server process alive while it
// exists (CoAddRefServerProcess), so the server ends when its client has let go of everything.
#pragma once

#include <memory>
#include <string>
#include <vector>
#include <windows.h>
#include <oleauto.h>

#include "object_model.h"
#include "host/mailbox/mailbox.h"

// The server's settings, from its command line.
struct ServerSettings
{
    std::string mailboxPath;
};
extern ServerSettings g_settings;

// The type information of one interface of the server's own type library (embedded in the exe).
HRESULT LoadServerTypeInfo(REFIID iid, ITypeInfo** info);

// Creates the application object, the one thing the class factory hands out.
HRESULT CreateApplication(REFIID iid, void** object);

// UTF-16 automation text to the mailbox's UTF-8 and back.
std::string Utf8FromBstr(BSTR text);
BSTR BstrFromUtf8(const std::string& text);
