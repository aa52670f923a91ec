#include <cstdio>
#include <cstring>

// The login helper is filled in by its own work; until then it only says
// what it is for, so that the bundle and its launcher can be exercised.
int main(int argc, char** argv)
{
    const bool askedForHelp =
        argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
    std::fprintf(askedForHelp ? stdout : stderr,
                 "usage: Palisor-Helper\n"
                 "  Starts PalisorAgent in this user session and keeps it running.\n");
    return askedForHelp ? 0 : 1;
}
