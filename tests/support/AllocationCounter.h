#pragma once

// How many times operator new has been called in this program so far. Only for the programs that
// are built with tests/support/AllocationCounter.cpp, which replaces operator new and delete.
long AllocationsSoFar();
