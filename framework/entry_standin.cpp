// The entry point of a program built over the stand-in framework.
#include "framework/framework.h"

int main() { return FwRunApplication(); }
