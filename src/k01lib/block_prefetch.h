// Read-ahead of bzip2 blocks. bzip2 decoding costs more than everything the
// conversion does with the records of a block, so while the records of one
// bzip2 block are converted, a worker thread reads and decodes the block
// that follows it in the file.
//
// The worker's result is only a guess at what the reader will meet next: the
// reader takes it when the block it has read itself starts at the offset the
// worker read from and has the same type and payload bytes, and then gets
// exactly what decoding the payload itself would give. In every other case
// (damage, recovery searches, a file that changed) the reader decodes the
// block itself and the guess is dropped.
#pragma once
#include <cstdint>
#include <cstdio>

struct K01Decoder;

namespace k01 {

struct k01_prefetch_t;

// Starts reading and decoding the block whose type byte is at `offset` in
// the file, if the worker is free and has not done that block already. The worker reads through its own
// descriptor and leaves the stream's position alone. Does nothing when no
// worker can be had (the reader then simply decodes every block itself).
void prefetchBlockAt(K01Decoder* d, FILE* f, long offset);

// Fills the decoder's block output from the worker's result for the block
// of this type starting at blockStart whose payload (blockInput, `length`
// bytes) the reader has just read. False when there is no matching result.
bool takePrefetchedBlock(K01Decoder* d, long blockStart, uint8_t blockType, uint32_t length);

// Stops and frees the worker (when the decoder is destroyed).
void destroyPrefetch(k01_prefetch_t* p);

}  // namespace k01
