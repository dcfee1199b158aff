#pragma once

namespace kestrion {

// A run reads, converts and writes one file of a few hundred kilobytes after
// another on several threads. By default the C library hands such blocks
// back to the system when freed and faults fresh pages in for the next one,
// which on some virtual machines costs more than the work itself; this keeps
// freed blocks of up to a few megabytes for reuse instead. Only what a run
// has used stays mapped, but each thread keeps its own: a 500-file update
// peaks at about 39 MB instead of 29 MB.
void keepFreedBuffersForReuse();

// Hands the freed blocks kept above back to the system: for a program that
// stays open once the run that used them is over.
void releaseFreedBuffers();

} // namespace kestrion
