// Storage for the MAPI interface identifiers that the host's objects answer to.
#define USES_IID_IMAPISession
#define USES_IID_IMAPITable
#define USES_IID_IMsgStore
#define USES_IID_IMessage
#include <windows.h>
#include <initguid.h>
#include <mapiguid.h>
