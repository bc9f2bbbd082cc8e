// Makes "Outlook.Application" activate a class object of the test process: the ProgID's CLSID
// entry in the prefix's registry points at a test class, registered with CoRegisterClassObject
// for CLSCTX_LOCAL_SERVER, so the module's CLSIDFromProgID/CoCreateInstance path runs for real.
// The entry the prefix had before comes back when the registration ends. Tests that use it
// take the CTest lock automation_server.
#pragma once

#include <string>

#include <windows.h>
#include <objbase.h>

class AutomationRegistration
{
public:
    // COM must be initialised on the calling thread.
    explicit AutomationRegistration(IUnknown* classObject);
    ~AutomationRegistration();

    bool ok() const { return m_registered; }
    // Takes the ProgID out of the registry until the registration ends.
    void RemoveProgId();

    static const CLSID kTestClsid;

private:
    AutomationRegistration(const AutomationRegistration&);
    AutomationRegistration& operator=(const AutomationRegistration&);

    bool m_hadProgId;
    std::string m_previousClsid;
    DWORD m_cookie;
    bool m_registered;
};
