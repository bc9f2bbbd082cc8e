/* The stack-protector guard of MinGW builds, in place of the toolchain's libssp (ssp.o).
 *
 * libssp seeds the guard with CryptAcquireContext + CryptGenRandom, which loads the RSA crypto
 * provider (rsaenh.dll with crypt32.dll and bcrypt.dll) every time the DLL is loaded, and unloads
 * it again: that was most of the cost of loading TB_RULE.dll. RtlGenRandom (advapi32's
 * SystemFunction036) hands out random bytes from the same system generator without loading
 * anything. Everything else is as libssp does it: the same fallback guard when no random bytes
 * come, the same message on the console and the same abrupt end on a smashed stack.
 *
 * Toolchain-specific: only MinGW builds compile this file (MSVC has its own /GS cookie). */
#include <windows.h>
#include <ntsecapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>

void* __stack_chk_guard = 0;

static void __attribute__((constructor)) tb_stack_guard_setup(void)
{
    unsigned char* bytes;
    if (__stack_chk_guard != 0)
    {
        return;
    }
    if (RtlGenRandom(&__stack_chk_guard, sizeof(__stack_chk_guard)) && __stack_chk_guard != 0)
    {
        return;
    }
    /* No random bytes: a terminator canary (NUL, NUL, newline, 0xFF), as libssp uses. */
    bytes = (unsigned char*)&__stack_chk_guard;
    bytes[0] = 0;
    bytes[1] = 0;
    bytes[sizeof(__stack_chk_guard) - 2] = '\n';
    bytes[sizeof(__stack_chk_guard) - 1] = 255;
}

static void __attribute__((noreturn)) tb_stack_fail(const char* what)
{
    static const char terminated[] = "terminated\n";
    int console = _open("CONOUT$", _O_WRONLY);
    if (console != -1)
    {
        _write(console, what, (unsigned)strlen(what));
        _write(console, terminated, sizeof(terminated) - 1);
        _close(console);
    }
    for (;;)
    {
        __builtin_trap();
        _exit(127);
    }
}

void __attribute__((noreturn)) __stack_chk_fail(void)
{
    tb_stack_fail("*** stack smashing detected ***: ");
}

void __attribute__((noreturn)) __chk_fail(void)
{
    tb_stack_fail("*** buffer overflow detected ***: ");
}

void __attribute__((noreturn)) __stack_chk_fail_local(void)
{
    __stack_chk_fail();
}
