// tb_bench [runs] [messages] [groups]: prints how long the DLL's work takes beside the floor that no
// implementation can beat, measured in the same run. groups: any of e (Execute), p (picker),
// d (the DLL); all three when not given.
#include "bench/bench.h"

#include <ole2.h>
#include <stdlib.h>
#include <string.h>

#include "host/rules_host/mapi_library.h"

int main(int argc, char** argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    const int runs = argc > 1 && atoi(argv[1]) > 0 ? atoi(argv[1]) : 7;
    const int messages = argc > 2 && atoi(argv[2]) > 0 ? atoi(argv[2]) : 100;
    const char* groups = argc > 3 ? argv[3] : "epd";
    printf("tb_bench: median of %d runs, min and max\n\n", runs);
    // The mail client runs with OLE and MAPI initialised.
    OleInitialize(NULL);
    const HRESULT mapi = MapiLibrary::Instance().Initialize();
    if (FAILED(mapi))
    {
        printf("MAPIInitialize failed (0x%08lX): is the MAPI provider configured?\n\n",
               static_cast<unsigned long>(mapi));
    }
    else if (strchr(groups, 'e') != NULL)
    {
        BenchExecute(runs, messages);
    }
    if (strchr(groups, 'p') != NULL)
    {
        BenchPicker(runs);
    }
    if (SUCCEEDED(mapi))
    {
        MapiLibrary::Instance().Uninitialize();
    }
    if (strchr(groups, 'd') != NULL)
    {
        BenchDll(runs);
    }
    OleUninitialize();
    return 0;
}
