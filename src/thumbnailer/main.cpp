#include "thumbnailer/thumbnail.h"

int main(int argc, char* argv[])
{
    return RunThumbnailer("vistrel-thumbnailer", argc - 1, argv + 1);
}
