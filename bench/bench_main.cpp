// tb_bench [runs]: prints how long the DLL's work takes beside the floor that no
// implementation can beat, measured in the same run.
#include "bench/bench.h"

#include <stdlib.h>

int main(int argc, char** argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    const int runs = argc > 1 ? atoi(argv[1]) : 7;
    printf("tb_bench: median of %d runs, min and max\n\n", runs);
    BenchDll(runs);
    return 0;
}
