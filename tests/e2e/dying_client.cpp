// A client of the automation server that dies holding a reference, as a crashed mail-client
// process would: activates "Outlook.Application" and ends without releasing it.
#include <windows.h>
#include <ole2.h>
#include <stdio.h>

int main()
{
    CoInitialize(NULL);
    CLSID clsid;
    IDispatch* held = NULL;
    HRESULT hr = CLSIDFromProgID(L"Outlook.Application", &clsid);
    if (SUCCEEDED(hr))
    {
        hr = CoCreateInstance(clsid, NULL, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&held));
    }
    printf("activation 0x%08lX\n", static_cast<unsigned long>(hr));
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), SUCCEEDED(hr) ? 0 : 1);
    return 1;
}
