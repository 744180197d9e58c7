#pragma once

// Writes the stack of every other thread of this process to standard error:
// each return address named from the executable's map file, or as the
// nearest export of the system module it lies in. Allocates nothing and
// takes no lock that a stuck thread could hold.
void printThreadStacks();
