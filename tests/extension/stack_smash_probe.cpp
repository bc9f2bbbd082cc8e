// Fills a 16-byte stack buffer with as many bytes as its argument says, and prints "returned"
// when the function came back. Linked with the product objects, so it checks its stack with
// their guard.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{
__attribute__((noinline)) int Fill(size_t count)
{
    char buffer[16];
    memset(buffer, 'x', count);
    return buffer[count / 2];
}
} // namespace

int main(int argc, char** argv)
{
    const size_t count = argc > 1 ? strtoul(argv[1], NULL, 10) : 0;
    const int last = Fill(count);
    printf("returned\n");
    fflush(stdout);
    return last == 'x' ? 0 : 3;
}
