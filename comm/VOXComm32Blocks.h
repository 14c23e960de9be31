#pragma once
#include <cstddef>

// Heap blocks that travel with messages between the component and its
// workers. The poster allocates, the receiver frees. The count of live blocks
// makes leaks and double frees visible in tests.
namespace comm {

char* AllocBlock(size_t size);
void FreeBlock(char* block);
void NoteBlockAllocated();
void NoteBlockFreed();
int LiveBlocks();

} // namespace comm
