// Puts fault points (fault_injection.h) in front of the fallible platform functions that a
// loaded module imports, by rewriting the module's import address table: MAPI, COM activation,
// automation strings and VARIANTs, the C runtime's allocator, the registry, windows and dialogs.
// Only calls made by that module pass the hooks; the test program's own calls (and the fakes')
// go straight to the platform. Also counts COM initialisations, so a test can see that each one
// that succeeded was balanced.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ImportCounts
{
    LONG coInitializeSucceeded; // CoInitialize calls by the module that returned S_OK or S_FALSE
    LONG coUninitialize;        // CoUninitialize calls by the module
};

class ImportHooks
{
public:
    // Patches the module's imports; restores them when destroyed.
    explicit ImportHooks(HMODULE module);
    ~ImportHooks();

    // The imports that were routed through a fault point ("DLL!name").
    const std::vector<std::string>& Hooked() const { return m_hooked; }
    bool IsHooked(const char* function) const;

    static ImportCounts Counts();
    static void ResetCounts();

private:
    ImportHooks(const ImportHooks&);
    ImportHooks& operator=(const ImportHooks&);

    struct Patch
    {
        void** slot;
        void* original;
    };
    std::vector<Patch> m_patches;
    std::vector<std::string> m_hooked;
};
