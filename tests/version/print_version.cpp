// Prints the version of the shared library it is linked with, through the
// public header alone: what .ci/check_versions.py holds against the file VERSION.
#include <tivarne/tivarne.h>

#include <cstdio>

int main() { std::printf("%s\n", tivarne::version().c_str()); }
